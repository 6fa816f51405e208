// Alerts from the real program on a private X server: hosts on loopback that answer, are cut off with nft and
// answer again, and real mail servers on loopback (with STARTTLS, TLS from the start, a test authority, a lax
// server that would take a password in clear, one that never answers), all in the test's own namespace.
#include "tests/e2e/desktop_session.h"
#include "tests/support/temp_folder.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <regex>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* const Password = "segreto";
// How alert notices and the gadget's other notices are found among the windows.
const char* const NoticePattern = "risponde|Mail di avviso|^Ore ";

void pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A mail server of tests/support/smtp_server.py in its own folder, which receives its mails.
class MailServer
{
public:
    MailServer(const std::string& folder, std::vector<std::string> options)
        : m_folder(folder)
    {
        fs::create_directories(folder);
        std::vector<std::string> argv {"/usr/bin/python3", CORVANE_SOURCE_DIR "/tests/support/smtp_server.py", "--out",
                                       folder};
        argv.insert(argv.end(), options.begin(), options.end());
        m_pid = StartProcess(argv, {}, folder, folder + "/log.txt");
        for (int i = 0; i < 100 && !fs::exists(folder + "/ready"); ++i)
            pause(100);
    }
    ~MailServer()
    {
        ::kill(m_pid, SIGTERM);
        if (!WaitForProcess(m_pid, 5000)) {
            ::kill(m_pid, SIGKILL);
            WaitForProcess(m_pid, 2000);
        }
    }
    bool Ready() const { return fs::exists(m_folder + "/ready"); }

    std::vector<QJsonObject> Mails() const
    {
        std::set<std::string> files;
        for (const auto& entry : fs::directory_iterator(m_folder))
            if (entry.path().extension() == ".json")
                files.insert(entry.path());
        std::vector<QJsonObject> mails;
        for (const std::string& file : files) {
            std::FILE* f = std::fopen(file.c_str(), "rb");
            QByteArray bytes;
            char buffer[4096];
            for (size_t n; f && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
                bytes.append(buffer, static_cast<qsizetype>(n));
            if (f)
                std::fclose(f);
            mails.push_back(QJsonDocument::fromJson(bytes).object());
        }
        return mails;
    }

private:
    std::string m_folder;
    pid_t m_pid = -1;
};

std::string text(const QJsonObject& mail, const char* key)
{
    return mail.value(QLatin1String(key)).toString().toStdString();
}

std::vector<std::string> list(const QJsonObject& mail, const char* key)
{
    std::vector<std::string> items;
    for (const auto& value : mail.value(QLatin1String(key)).toArray())
        items.push_back(value.toString().toStdString());
    return items;
}

class AlertsE2ETest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!std::getenv("CORVANE_ISOLATED") || ::geteuid() != 0)
            GTEST_SKIP() << "needs root inside scripts/run-isolated (CTest runs it that way)";
        for (const char* tool : {"Xvfb", "xdotool", "xwininfo", "openbox", "nft", "openssl", "tcpdump", "trayer"})
            if (!CommandAvailable(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
        if (RunCommand({"/usr/bin/python3", "-c", "import aiosmtpd"}).status != 0)
            GTEST_SKIP() << "python3-aiosmtpd is not installed (scripts/setup installs it)";
        session = std::make_unique<DesktopSession>(1024, 768);
        if (!session->Started() || !session->StartWindowManager() || !session->StartTray())
            GTEST_SKIP() << "Xvfb, openbox or trayer did not start";
        fs::copy_file(fs::path(CORVANE_PROGRAM_DIR) / "corvane", folder.File("corvane"));
        folder.MakeFolder("list");
        makeAuthority("ca");
        makeAuthority("rogue");
    }

    void TearDown() override
    {
        if (session)
            session->StopProgram();
        if (HasFailure() && folder.Exists("stderr.txt"))
            std::printf("The program's standard error:\n%s\n", folder.Read("stderr.txt").c_str());
        RunCommand({"nft", "delete", "table", "ip", "corvane_alerts"});
    }

    // A test authority and a certificate for 127.0.0.1 signed by it: `name`.pem, `name`-server.pem and .key.
    void makeAuthority(const std::string& name)
    {
        const std::string base = folder.File(name);
        const std::string ec = "ec:" + folder.File("curve.pem");
        RunCommand({"openssl", "ecparam", "-name", "prime256v1", "-out", folder.File("curve.pem")});
        RunCommand({"openssl", "req", "-x509", "-newkey", ec, "-nodes", "-keyout", base + ".key", "-out", base + ".pem",
                    "-days", "2", "-subj", "/CN=Corvane test " + name});
        RunCommand({"openssl", "req", "-newkey", ec, "-nodes", "-keyout", base + "-server.key", "-out", base + ".csr",
                    "-subj", "/CN=127.0.0.1"});
        folder.Write(name + ".ext", "subjectAltName=IP:127.0.0.1\n");
        RunCommand({"openssl", "x509", "-req", "-in", base + ".csr", "-CA", base + ".pem", "-CAkey", base + ".key",
                    "-CAcreateserial", "-days", "2", "-extfile", base + ".ext", "-out", base + "-server.pem"});
    }

    std::vector<std::string> tlsOptions(const std::string& authority, const char* mode)
    {
        return {"--tls",  mode,
                "--cert", folder.File(authority + "-server.pem"),
                "--key",  folder.File(authority + "-server.key")};
    }

    void writeResource(const std::string& name, const std::string& host)
    {
        folder.Write("list/" + name, host + "\r\n1\r\n");
    }

    // Rounds every second; the mail entries as the settings dialog writes them, plus `extra` lines.
    void writeSettings(const std::string& port, const std::string& password, const std::string& extra = "")
    {
        folder.Write("corvane.ini",
                     "[Check]\r\nTimeCheck=1\r\n[Mail]\r\nhost=127.0.0.1\r\nport=" + port
                         + "\r\nusername=anna@example.org\r\npwd=" + password + "\r\n" + extra);
    }

    // These hosts stop answering (their echo replies are lost on the way); every other host answers again.
    void cutOff(const std::vector<std::string>& addresses)
    {
        std::string rules = "table ip corvane_alerts\ndelete table ip corvane_alerts\n"
                            "table ip corvane_alerts {\n chain in {\n  type filter hook input priority 0;\n";
        for (const std::string& address : addresses)
            rules += "  ip saddr " + address + " icmp type echo-reply drop\n";
        folder.Write("rules.nft", rules + " }\n}\n");
        ASSERT_EQ(RunCommand({"nft", "-f", folder.File("rules.nft")}).status, 0);
    }

    void start()
    {
        session->StartProgram(folder.File("corvane"), folder.Path(), {{"CORVANE_MAIL_CA_FILE", folder.File("ca.pem")}},
                              folder.File("stderr.txt"));
        const auto gadget = session->WaitForWindow("Corvane", 30000);
        ASSERT_TRUE(gadget.has_value()) << "the gadget did not appear";
        m_gadget = *gadget;
    }

    // Notes every notice on the screen; notices stay ten seconds, longer than any pause between polls.
    void pollNotices()
    {
        for (const std::string& window : session->VisibleWindows(NoticePattern)) {
            if (notices.count(window))
                continue;
            std::string name = session->Tool({"xdotool", "getwindowname", window}).output;
            if (!name.empty() && name.back() == '\n')
                name.pop_back();
            notices[window] = name;
            order.push_back(window);
        }
    }

    // Polls the screen for `ms` milliseconds.
    void watch(int ms)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            pollNotices();
            pause(150);
        }
    }

    // The first notice not seen before whose name matches `pattern` in full; empty on time-out.
    std::string waitForNotice(const std::string& pattern, int timeoutMs = 15000)
    {
        const std::regex wanted(pattern);
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            pollNotices();
            for (const std::string& window : order)
                if (!m_taken.count(window) && std::regex_match(notices[window], wanted)) {
                    m_taken.insert(window);
                    return window;
                }
            pause(150);
        }
        return {};
    }

    std::vector<QJsonObject> waitForMails(const MailServer& server, size_t count, int timeoutMs = 15000)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (server.Mails().size() < count && Clock::now() < deadline)
            watch(200);
        return server.Mails();
    }

    size_t noticesMatching(const std::string& pattern)
    {
        const std::regex wanted(pattern);
        size_t count = 0;
        for (const auto& [window, name] : notices)
            count += std::regex_match(name, wanted) ? 1 : 0;
        return count;
    }

    void click(const std::string& window)
    {
        const QPoint centre = session->WindowGeometry(window).value_or(QRect()).center();
        session->Tool({"xdotool", "mousemove", std::to_string(centre.x()), std::to_string(centre.y()), "click", "1"});
    }

    TempFolder folder;
    std::unique_ptr<DesktopSession> session;
    std::map<std::string, std::string> notices;
    std::vector<std::string> order;
    std::string m_gadget;
    std::set<std::string> m_taken;
};

TEST_F(AlertsE2ETest, AHostCutOffForTwoRoundsGivesOneNoticeAndOneMailAndAnotherOfEachWhenItIsBack)
{
    auto options = tlsOptions("ca", "starttls");
    options.insert(options.end(), {"--port", "2525", "--login", std::string("anna@example.org:") + Password});
    MailServer server(folder.File("mail"), options);
    ASSERT_TRUE(server.Ready());
    writeResource("web.cvr", "127.0.0.2");
    writeResource("spento.cvr", "127.0.0.9");
    writeSettings("2525", Password, "to=capo@example.org, Anna <anna@example.org>\r\n");
    cutOff({"127.0.0.9"});
    start();
    watch(4000);
    EXPECT_TRUE(notices.empty()) << "nothing to tell in the first rounds, nor about a host down from the start";
    EXPECT_TRUE(server.Mails().empty());

    cutOff({"127.0.0.9", "127.0.0.2"});
    const std::string down = waitForNotice("web \\(127\\.0\\.0\\.2\\)\nnon risponde \\(ore \\d\\d:\\d\\d\\)");
    ASSERT_FALSE(down.empty()) << "no notice for the host cut off";
    auto mails = waitForMails(server, 1);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(text(mails[0], "subject"), "Corvane: web non risponde");
    EXPECT_EQ(text(mails[0], "mail_from"), "anna@example.org");
    EXPECT_EQ(list(mails[0], "rcpt_tos"), (std::vector<std::string> {"capo@example.org", "anna@example.org"}));
    EXPECT_TRUE(mails[0][QLatin1String("tls")].toBool()) << "STARTTLS, with the test authority";
    EXPECT_EQ(text(mails[0], "login"), "anna@example.org");
    EXPECT_TRUE(std::regex_search(
        text(mails[0], "body"),
        std::regex("web \\(127\\.0\\.0\\.2\\) non risponde dalle \\d\\d:\\d\\d:\\d\\d del "
                   "\\d\\d/\\d\\d/\\d{4}\\.\nIndirizzo: 127\\.0\\.0\\.2\nUltimo giro: 1 richiesta, 0 risposte\n")))
        << text(mails[0], "body");

    // The user had put the gadget away in the tray; a click on the notice brings it back.
    session->Tool({"xdotool", "windowminimize", m_gadget});
    for (int i = 0; i < 30 && !session->VisibleWindows("^Corvane$").empty(); ++i)
        pause(100);
    ASSERT_TRUE(session->VisibleWindows("^Corvane$").empty());
    click(down);
    EXPECT_TRUE(session->WaitForWindow("Corvane", 3000).has_value()) << "the click did not show the gadget";

    cutOff({"127.0.0.9"});
    EXPECT_FALSE(waitForNotice("web \\(127\\.0\\.0\\.2\\)\nrisponde di nuovo \\(ore \\d\\d:\\d\\d\\)").empty());
    mails = waitForMails(server, 2);
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(text(mails[1], "subject"), "Corvane: web risponde di nuovo");
    EXPECT_TRUE(std::regex_search(text(mails[1], "body"),
                                  std::regex("Indirizzo: 127\\.0\\.0\\.2\nUltimo giro: 1 richiesta, 1 risposta, "
                                             "tempi min/medio/max \\d+/\\d+/\\d+ ms\n")))
        << text(mails[1], "body");
    watch(3000);
    EXPECT_EQ(notices.size(), 2u);
    EXPECT_EQ(server.Mails().size(), 2u);
}

TEST_F(AlertsE2ETest, SeveralChangesInOneRoundMakeOneNoticeAndOneMail)
{
    // No password and no STARTTLS on offer: the mail goes in clear, as the user's server allows.
    MailServer server(folder.File("mail"), {"--port", "2526"});
    ASSERT_TRUE(server.Ready());
    writeResource("alfa.cvr", "127.0.0.2");
    writeResource("beta.cvr", "127.0.0.3");
    writeResource("gamma.cvr", "127.0.0.4");
    writeSettings("2526", "");
    start();
    watch(3000);
    cutOff({"127.0.0.2", "127.0.0.3", "127.0.0.4"});
    EXPECT_FALSE(
        waitForNotice("Ore \\d\\d:\\d\\d\nalfa \\(127\\.0\\.0\\.2\\): non risponde\nbeta \\(127\\.0\\.0\\.3\\): "
                      "non risponde\ngamma \\(127\\.0\\.0\\.4\\): non risponde",
                      20000)
            .empty());
    const auto mails = waitForMails(server, 1);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(text(mails[0], "subject"), "Corvane: 3 risorse non rispondono");
    EXPECT_EQ(list(mails[0], "rcpt_tos"), std::vector<std::string> {"anna@example.org"}) << "`to` is the user name";
    EXPECT_FALSE(mails[0][QLatin1String("tls")].toBool());
    for (const char* name : {"alfa", "beta", "gamma"})
        EXPECT_NE(text(mails[0], "body").find(std::string(name) + " (127.0.0."), std::string::npos) << name;
    watch(3000);
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_EQ(server.Mails().size(), 1u);
}

TEST_F(AlertsE2ETest, MailNeverGoesOutUnprotectedAndAFailureIsToldOnceUntilAMailGoesThrough)
{
    const std::string login = std::string("anna@example.org:") + Password;
    MailServer lax(folder.File("lax"), {"--port", "2527", "--login", login, "--lax"});
    auto rogueOptions = tlsOptions("rogue", "starttls");
    rogueOptions.insert(rogueOptions.end(), {"--port", "2528"});
    MailServer rogue(folder.File("rogue"), rogueOptions);
    auto goodOptions = tlsOptions("ca", "implicit");
    goodOptions.insert(goodOptions.end(), {"--port", "465", "--login", login});
    MailServer good(folder.File("good"), goodOptions);
    ASSERT_TRUE(lax.Ready() && rogue.Ready() && good.Ready());
    const pid_t capture = StartProcess({"tcpdump", "-i", "lo", "-U", "-w", folder.File("lo.pcap"), "tcp"}, {},
                                       folder.Path(), folder.File("tcpdump.txt"));
    pause(1000);

    writeResource("web.cvr", "127.0.0.2");
    writeSettings("2527", Password);
    start();
    watch(3000);
    // A server that offers to log in over a connection in clear: nothing is sent.
    cutOff({"127.0.0.2"});
    EXPECT_FALSE(waitForNotice("web \\(127\\.0\\.0\\.2\\)\nnon risponde.*").empty());
    EXPECT_FALSE(waitForNotice("Mail di avviso non inviata:\nil server smtp://127\\.0\\.0\\.1:2527 non offre una "
                               "connessione cifrata e la password non va inviata in chiaro")
                     .empty());

    // STARTTLS with a certificate no known authority signed: no mail, even without a password, and the
    // failure is not told a second time.
    writeSettings("2528", "");
    cutOff({});
    EXPECT_FALSE(waitForNotice("web \\(127\\.0\\.0\\.2\\)\nrisponde di nuovo.*").empty());
    watch(3000);
    EXPECT_EQ(noticesMatching("Mail di avviso[\\s\\S]*"), 1u);

    // TLS from the start on port 465, with the test authority: the mail goes through.
    writeSettings("465", Password);
    cutOff({"127.0.0.2"});
    const auto mails = waitForMails(good, 1, 20000);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_TRUE(mails[0][QLatin1String("tls")].toBool());
    EXPECT_EQ(text(mails[0], "login"), "anna@example.org");
    EXPECT_TRUE(lax.Mails().empty());
    EXPECT_TRUE(rogue.Mails().empty());

    const std::string log = folder.Read("stderr.txt");
    EXPECT_NE(log.find("Corvane: mail di avviso non inviata: il server smtp://127.0.0.1:2527 non offre"),
              std::string::npos)
        << log;
    EXPECT_TRUE(std::regex_search(log, std::regex("Corvane: mail di avviso non inviata: .*certificate"))) << log;
    EXPECT_EQ(log.find(Password), std::string::npos);

    ::kill(capture, SIGINT);
    WaitForProcess(capture, 5000);
    const std::string traffic = folder.Read("lo.pcap");
    ASSERT_GT(traffic.size(), 1000u) << "nothing was captured";
    // The lax server offers its logins in clear ("250-AUTH ..."); the program must never take it up.
    for (size_t at = traffic.find("AUTH"); at != std::string::npos; at = traffic.find("AUTH", at + 1))
        EXPECT_TRUE(at >= 4 && (traffic.compare(at - 4, 4, "250-") == 0 || traffic.compare(at - 4, 4, "250 ") == 0))
            << "a login was tried in clear";
    for (const std::string& secret :
         {std::string(Password), std::string("c2VncmV0bw=="), std::string("AGFubmFAZXhhbXBsZS5vcmcAc2VncmV0bw==")})
        EXPECT_EQ(traffic.find(secret), std::string::npos) << secret;
}

TEST_F(AlertsE2ETest, AServerThatNeverAnswersDoesNotHoldTheGadget)
{
    // Takes connections and never says a word.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(2529);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);

    writeResource("web.cvr", "127.0.0.2");
    writeSettings("2529", "");
    start();
    watch(3000);
    cutOff({"127.0.0.2"});
    ASSERT_FALSE(waitForNotice("web \\(127\\.0\\.0\\.2\\)\nnon risponde.*").empty());
    const auto sending = Clock::now();

    // While the mail waits for its server, the dog's menu opens the settings at once.
    const QPoint dog = session->WindowGeometry(m_gadget).value_or(QRect()).topLeft() + QPoint(78, 201 + 95);
    session->Tool({"xdotool", "mousemove", std::to_string(dog.x()), std::to_string(dog.y()), "click", "3"});
    pause(300);
    session->Tool({"xdotool", "key", "i"});
    EXPECT_TRUE(session->WaitForWindow("Corvane - Impostazioni", 2000).has_value());
    EXPECT_LT(Clock::now() - sending, std::chrono::seconds(5));

    const std::string failure = waitForNotice(
        "Mail di avviso non inviata:\nil server smtp://127\\.0\\.0\\.1:2529 non ha risposto entro 15 secondi", 30000);
    EXPECT_FALSE(failure.empty());
    const auto waited = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - sending).count();
    EXPECT_GE(waited, 13);
    EXPECT_LE(waited, 22);
    ::close(listener);
}

} // namespace
