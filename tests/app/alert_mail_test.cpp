// What the alerts say and how their mails are made: addresses from the settings, the message as it goes to the
// server, the words of notices and mails, and the mailer's rules for failures.
#include "app/alert_mailer.h"
#include "app/alert_texts.h"
#include "app/mail_message.h"

#include <algorithm>
#include <ctime>
#include <functional>
#include <gtest/gtest.h>
#include <utility>

namespace {

TWallClock::time_point localTime(int hour, int minute, int second)
{
    std::tm tm {};
    tm.tm_year = 125;
    tm.tm_mon = 2;
    tm.tm_mday = 12;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return TWallClock::from_time_t(std::mktime(&tm));
}

TStateChange change(const std::string& name, const std::string& host, THostState state)
{
    TStateChange c {name, host, state, localTime(14, 32, 5), {}};
    if (state == THostState::Up)
        for (uint32_t us : {1200u, 2000u, 4100u})
            c.Round.Add(TReplyStatus {64, host, 0, 0, us / 1000, 64, roEchoReply, us});
    c.Round.Sent = 4;
    c.Round.Address = "10.0.0.5";
    return c;
}

TAlertSettings mailSettings()
{
    return {.MailHost = "smtp.example.org",
            .MailPort = "",
            .MailUserName = "anna@example.org",
            .MailPassword = "segreto",
            .MailTo = "anna@example.org"};
}

TEST(AlertMailTest, AddressListsTakeBareAndNamedAddressesAndStopAtTheFirstBadEntry)
{
    struct Case
    {
        const char* text;
        std::vector<std::string> addresses;
        const char* invalid;
    };
    const Case cases[] = {
        {" Anna <anna@example.org>, bruno@mail.example.org; ", {"anna@example.org", "bruno@mail.example.org"}, ""},
        {"\"Rossi, Anna\" <anna.rossi+alert@example.org>", {"anna.rossi+alert@example.org"}, ""},
        {"", {}, ""},
        {"anna@example.org, bad address@x.org", {"anna@example.org"}, "bad address@x.org"},
        {"a@b.org\r\nRCPT TO:<x@y.org>", {}, "a@b.org\r\nRCPT TO:<x@y.org>"},
        {"<a@b.org>x", {}, "<a@b.org>x"},
        {"a..b@x.org", {}, "a..b@x.org"},
        {"a@", {}, "a@"},
        {"andr\xc3\xa8@x.it", {}, "andr\xc3\xa8@x.it"},
    };
    for (const Case& c : cases) {
        const TMailAddressList list = ParseMailAddresses(c.text);
        EXPECT_EQ(list.Addresses, c.addresses) << c.text;
        EXPECT_EQ(list.Invalid, c.invalid) << c.text;
    }
}

TEST(AlertMailTest, SettingsBecomeARequestOrTheReasonThereIsNone)
{
    struct Case
    {
        std::function<void(TAlertSettings&)> edit;
        const char* error;
        int port;
    };
    const Case cases[] = {
        {[](TAlertSettings&) {}, "", 587},
        {[](TAlertSettings& s) { s.MailPort = "465"; }, "", 465},
        {[](TAlertSettings& s) { s.MailPort = " 25"; }, "", 25},
        {[](TAlertSettings& s) { s.MailPort = "0x24b"; }, "", 587},
        {[](TAlertSettings& s) { s.MailPort = "smtp"; }, "porta del server di posta non valida: \u00absmtp\u00bb", 0},
        {[](TAlertSettings& s) { s.MailPort = "70000"; }, "porta del server di posta non valida: \u00ab70000\u00bb", 0},
        {[](TAlertSettings& s) { s.MailHost = "::1"; }, "", 587},
        {[](TAlertSettings& s) { s.MailHost = "smtp://x.org"; }, "server di posta non valido: \u00absmtp://x.org\u00bb",
         0},
        {[](TAlertSettings& s) { s.MailUserName = s.MailTo = ""; },
         "manca lo Username, l'indirizzo da cui partono le mail", 0},
        {[](TAlertSettings& s) { s.MailUserName = "anna"; },
         "lo Username \u00abanna\u00bb non \u00e8 un indirizzo di posta", 0},
        {[](TAlertSettings& s) { s.MailTo = "anna@example.org, boss"; }, "destinatario non valido: \u00abboss\u00bb",
         0},
        {[](TAlertSettings& s) { s.MailTo = " , "; }, "nessun destinatario", 0},
    };
    const std::vector<TStateChange> changes {change("web.cvr", "web.example.org", THostState::Down)};
    for (size_t i = 0; i < std::size(cases); ++i) {
        TAlertSettings settings = mailSettings();
        cases[i].edit(settings);
        const TPreparedMail mail = PrepareAlertMail(settings, changes, localTime(14, 32, 6), "id.1");
        EXPECT_EQ(mail.Error, cases[i].error) << "case " << i;
        if (mail.Error.empty()) {
            EXPECT_EQ(mail.Request.Port, cases[i].port) << "case " << i;
        }
    }

    TAlertSettings settings = mailSettings();
    settings.MailTo = "Capo <capo@example.org>; anna@example.org";
    const TSmtpRequest request = PrepareAlertMail(settings, changes, localTime(14, 32, 6), "id.1").Request;
    EXPECT_EQ(request.From, "anna@example.org");
    EXPECT_EQ(request.UserName, "anna@example.org");
    EXPECT_EQ(request.Password, "segreto");
    EXPECT_EQ(request.To, (std::vector<std::string> {"capo@example.org", "anna@example.org"}));
    EXPECT_NE(request.Message.find("\r\nTo: capo@example.org, anna@example.org\r\n"), std::string::npos);
    EXPECT_NE(request.Message.find("\r\nMessage-ID: <id.1@example.org>\r\n"), std::string::npos);
    EXPECT_EQ(request.Message.find("segreto"), std::string::npos);
}

// The line lengths and the character set of every form are the fuzzer's; these are the forms themselves.
TEST(AlertMailTest, MessagesKeepToPlainLinesWhateverTheNamesHold)
{
    EXPECT_EQ(EncodeHeaderText("Corvane: web non risponde"), "Corvane: web non risponde");
    EXPECT_EQ(EncodeHeaderText("Corvane: caff\xc3\xa8 non risponde"),
              "=?UTF-8?B?Q29ydmFuZTogY2FmZsOoIG5vbiByaXNwb25kZQ==?=");
    EXPECT_EQ(CleanText("a\nb\x7f\xc2\x85\xff\xc3\xa8"), "a\uFFFDb\uFFFD\uFFFD\uFFFD\u00e8");
    EXPECT_EQ(QuotedPrintable("a=b \xc3\xa8 \nend\t"), "a=3Db =C3=A8=20\r\nend=09");

    const std::string text = ComposeMail(
        {"anna@example.org", {"b@example.org"}, "Corvane: a\r\nBcc: x@y.org", "riga\n", localTime(14, 32, 5), "m@x"});
    EXPECT_EQ(text.find("\r\nBcc:"), std::string::npos) << "a line break in a name cannot add a header";
    EXPECT_TRUE(text.starts_with("Date: Wed, 12 Mar 2025 14:32:05 ")) << text;
    EXPECT_NE(text.find("\r\nFrom: Corvane <anna@example.org>\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n\r\nriga\r\n"), std::string::npos);
}

TEST(AlertMailTest, NoticesAndMailsNameTheResourceItsHostTheTimeAndTheNewState)
{
    const auto down = change("web.cvr", "web.example.org", THostState::Down);
    const auto back = change("nas.CVR", "nas", THostState::Up);
    EXPECT_EQ(AlertNoticeText({down}), "web (web.example.org)\r\nnon risponde (ore 14:32)");
    EXPECT_EQ(AlertNoticeText({back}), "nas\r\nrisponde di nuovo (ore 14:32)") << "a name that is its host once";
    EXPECT_EQ(AlertNoticeText({down, back}),
              "Ore 14:32\r\nweb (web.example.org): non risponde\r\nnas: risponde di nuovo");
    const std::vector<TStateChange> five(5, back);
    EXPECT_EQ(AlertNoticeText(five),
              "Ore 14:32\r\nnas: risponde di nuovo\r\nnas: risponde di nuovo\r\nnas: risponde di nuovo\r\n"
              "e altre 2 risorse");

    EXPECT_EQ(AlertMailSubject({down}), "Corvane: web non risponde");
    EXPECT_EQ(AlertMailSubject({back}), "Corvane: nas risponde di nuovo");
    EXPECT_EQ(AlertMailSubject({down, down}), "Corvane: 2 risorse non rispondono");
    EXPECT_EQ(AlertMailSubject({back, down, back}), "Corvane: 1 risorsa non risponde, 2 risorse rispondono di nuovo");

    auto failed = down;
    failed.Round.Error = "Socket Error # 11001\r\nHost not found.";
    failed.Round.Address.clear();
    EXPECT_EQ(AlertMailBody({failed, back}),
              "Corvane ha notato 2 cambi di stato.\n"
              "\n"
              "web (web.example.org) non risponde dalle 14:32:05 del 12/03/2025.\n"
              "Ultimo giro: 4 richieste, 0 risposte\n"
              "Errore: Socket Error # 11001 Host not found.\n"
              "\n"
              "nas risponde di nuovo dalle 14:32:05 del 12/03/2025.\n"
              "Indirizzo: 10.0.0.5\n"
              "Ultimo giro: 4 richieste, 3 risposte, tempi min/medio/max 1,2/2,4/4,1 ms\n");
}

// Answers with `outcomes` in turn (then Sent), and runs `during` once inside the first send it sees.
class RecordingTransport final : public IMailTransport
{
public:
    TMailOutcome Send(const TSmtpRequest& request) override
    {
        sent.push_back(request);
        if (during)
            std::exchange(during, nullptr)();
        if (outcomes.empty())
            return {TMailOutcome::TResult::Sent, {}};
        return std::exchange(outcomes, {outcomes.begin() + 1, outcomes.end()}).front();
    }
    std::vector<TSmtpRequest> sent;
    std::vector<TMailOutcome> outcomes;
    std::function<void()> during;
};

TEST(AlertMailTest, AFailureIsToldOnceUntilAMailGoesThroughAndMailsNeverOverlap)
{
    auto owned = std::make_unique<RecordingTransport>();
    RecordingTransport& transport = *owned;
    TAlertMailer mailer(std::move(owned));
    std::vector<std::string> told;
    mailer.OnFailureNotice = [&](const std::string& reason) { told.push_back(reason); };
    const std::vector<TStateChange> changes {change("web.cvr", "web.example.org", THostState::Down)};
    const TMailOutcome refused {TMailOutcome::TResult::Failed, "Login denied"};

    testing::internal::CaptureStderr();
    transport.outcomes = {refused, refused};
    mailer.Send(mailSettings(), changes);
    mailer.Send(mailSettings(), changes);
    TAlertSettings badPort = mailSettings();
    badPort.MailPort = "x";
    mailer.Send(badPort, changes);
    EXPECT_EQ(told, std::vector<std::string> {"Login denied"});
    mailer.Send(mailSettings(), changes);
    transport.outcomes = {refused};
    mailer.Send(mailSettings(), changes);
    EXPECT_EQ(told, (std::vector<std::string> {"Login denied", "Login denied"})) << "told again after a success";
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4) << log;
    EXPECT_NE(log.find("Corvane: mail di avviso non inviata: porta del server"), std::string::npos) << log;
    EXPECT_EQ(log.find("segreto"), std::string::npos);

    // A round that ends while a mail is on its way waits for it; a close drops what waits.
    transport.sent.clear();
    transport.during = [&] {
        mailer.Send(mailSettings(), changes);
        EXPECT_EQ(transport.sent.size(), 1u) << "queued, not sent inside the first";
    };
    mailer.Send(mailSettings(), changes);
    EXPECT_EQ(transport.sent.size(), 2u);
    transport.outcomes = {{TMailOutcome::TResult::Aborted, {}}};
    transport.during = [&] { mailer.Send(mailSettings(), changes); };
    testing::internal::CaptureStderr();
    mailer.Send(mailSettings(), changes);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(transport.sent.size(), 3u);
    EXPECT_EQ(told.size(), 2u);
}

} // namespace
