// Alerts from the real program on a private X server with a tray: hosts on loopback that answer, are cut off
// with nft and answer again, and mail servers on loopback (tests/support/smtp_server.py) with STARTTLS, TLS
// from the start and a test authority, one that would take a password in clear, one that never answers.
#include "tests/e2e/desktop_session.h"
#include "tests/support/temp_folder.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <regex>
#include <set>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string Login = "anna@example.org:segreto";

void pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool matches(const std::string& text, const std::string& pattern)
{
    return std::regex_search(text, std::regex(pattern));
}

class MailServer
{
public:
    MailServer(const TempFolder& folder, const std::string& name, std::vector<std::string> options)
        : m_folder(folder.File(name))
    {
        folder.MakeFolder(name);
        options.insert(options.begin(),
                       {"/usr/bin/python3", CORVANE_SOURCE_DIR "/tests/support/smtp_server.py", "--out", m_folder});
        m_pid = StartProcess(options, {}, m_folder, m_folder + "/log.txt");
        for (int i = 0; i < 100 && !fs::exists(m_folder + "/ready"); ++i)
            pause(100);
    }
    ~MailServer()
    {
        ::kill(m_pid, SIGTERM);
        WaitForProcess(m_pid, 5000);
    }
    bool Ready() const { return fs::exists(m_folder + "/ready"); }
    // Each mail as the server wrote it down, in the order received.
    std::vector<std::string> Mails() const
    {
        std::set<std::string> files;
        for (const auto& entry : fs::directory_iterator(m_folder))
            if (entry.path().extension() == ".txt" && entry.path().filename() != "log.txt")
                files.insert(entry.path());
        std::vector<std::string> mails;
        for (const std::string& file : files)
            mails.push_back(RunCommand({"cat", file}).output);
        return mails;
    }

private:
    std::string m_folder;
    pid_t m_pid = -1;
};

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
        // Two test authorities, each with a certificate for 127.0.0.1; the program trusts "ca" alone.
        const char* const authorities = R"(exec 2>/dev/null; cd "$1" && echo subjectAltName=IP:127.0.0.1 > san &&
            for n in ca rogue; do
                openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj /CN=$n \
                    -keyout $n.key -out $n.pem &&
                openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=127.0.0.1 \
                    -keyout $n-server.key -out $n.csr &&
                openssl x509 -req -days 2 -in $n.csr -CA $n.pem -CAkey $n.key -CAcreateserial -extfile san \
                    -out $n-server.pem || exit 1
            done)";
        ASSERT_EQ(RunCommand({"sh", "-c", authorities, "sh", folder.Path()}).status, 0);
    }

    void TearDown() override
    {
        if (session)
            session->StopProgram();
        if (HasFailure() && folder.Exists("stderr.txt"))
            std::printf("The program's standard error:\n%s\n", folder.Read("stderr.txt").c_str());
        RunCommand({"nft", "delete", "table", "ip", "corvane_alerts"});
    }

    // A server with a certificate of `authority`, on `port`, and a login when one is given.
    std::vector<std::string> tls(const std::string& authority, const char* mode, const char* port, bool login = false)
    {
        std::vector<std::string> options {"--tls",  mode,
                                          "--port", port,
                                          "--cert", folder.File(authority + "-server.pem"),
                                          "--key",  folder.File(authority + "-server.key")};
        if (login)
            options.insert(options.end(), {"--login", Login});
        return options;
    }

    // Rounds every second; each resource one echo request to its host.
    void setUp(const std::map<std::string, std::string>& resources, const std::string& port,
               const std::string& password, const std::string& extra = "")
    {
        for (const auto& [name, host] : resources)
            folder.Write("list/" + name + ".cvr", host + "\r\n1\r\n");
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
        gadget = session->WaitForWindow("Corvane", 30000).value_or(std::string());
        ASSERT_FALSE(gadget.empty()) << "the gadget did not appear";
    }

    // Notes the notices on the screen for `ms` milliseconds; each stays ten seconds, far longer than a poll.
    void watch(int ms)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        do {
            for (const std::string& window : session->VisibleWindows("risponde|Mail di avviso|^Ore "))
                if (!notices.count(window))
                    notices[window] = session->Tool({"xdotool", "getwindowname", window}).output;
            pause(150);
        } while (Clock::now() < end);
    }

    // A notice not taken before whose name matches `pattern` from its start.
    std::string waitForNotice(const std::string& pattern, int timeoutMs = 15000)
    {
        const std::regex wanted("^" + pattern);
        for (const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs); Clock::now() < end;) {
            watch(0);
            for (const auto& [window, name] : notices)
                if (std::regex_search(name, wanted) && taken.insert(window).second)
                    return window;
        }
        return {};
    }

    std::vector<std::string> waitForMails(const MailServer& server, size_t count, int timeoutMs = 15000)
    {
        for (const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
             server.Mails().size() < count && Clock::now() < end;)
            watch(200);
        return server.Mails();
    }

    TempFolder folder;
    std::unique_ptr<DesktopSession> session;
    std::string gadget;
    std::map<std::string, std::string> notices;
    std::set<std::string> taken;
};

TEST_F(AlertsE2ETest, HostsThatStopAnsweringAndAnswerAgainGiveOneNoticeAndOneMailPerRound)
{
    MailServer server(folder, "mail", tls("ca", "starttls", "2525", true));
    ASSERT_TRUE(server.Ready());
    setUp({{"web", "127.0.0.2"}, {"alfa", "127.0.0.3"}, {"beta", "127.0.0.4"}, {"spento", "127.0.0.9"}}, "2525",
          "segreto", "to=capo@example.org, Anna <anna@example.org>\r\n");
    cutOff({"127.0.0.9"});
    start();
    watch(4000);
    EXPECT_TRUE(notices.empty()) << "nothing in the first rounds, nor for a host down from the start";

    cutOff({"127.0.0.9", "127.0.0.2"});
    const std::string down = waitForNotice("web \\(127\\.0\\.0\\.2\\)\nnon risponde \\(ore \\d\\d:\\d\\d\\)\n$");
    ASSERT_FALSE(down.empty());
    auto mails = waitForMails(server, 1);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_TRUE(matches(mails[0],
                        "^from=anna@example.org\nto=capo@example.org,anna@example.org\n"
                        "subject=Corvane: web non risponde\ntls=1\nlogin=anna@example.org\n\n"))
        << mails[0];
    EXPECT_TRUE(matches(mails[0],
                        "\nweb \\(127\\.0\\.0\\.2\\) non risponde dalle \\d\\d:\\d\\d:\\d\\d del "
                        "\\d\\d/\\d\\d/\\d{4}\\.\nIndirizzo: 127\\.0\\.0\\.2\nUltimo giro: 1 richiesta, "
                        "0 risposte\n"))
        << mails[0];

    // The user had put the gadget away in the tray; a click on the notice brings it back.
    session->Tool({"xdotool", "windowminimize", gadget});
    for (int i = 0; i < 30 && !session->VisibleWindows("^Corvane$").empty(); ++i)
        pause(100);
    const QPoint centre = session->WindowGeometry(down).value_or(QRect()).center();
    session->Tool({"xdotool", "mousemove", std::to_string(centre.x()), std::to_string(centre.y()), "click", "1"});
    EXPECT_TRUE(session->WaitForWindow("Corvane", 3000).has_value()) << "the click did not show the gadget";

    cutOff({"127.0.0.9"});
    EXPECT_FALSE(waitForNotice("web \\(127\\.0\\.0\\.2\\)\nrisponde di nuovo").empty());
    mails = waitForMails(server, 2);
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_TRUE(matches(mails[1],
                        "subject=Corvane: web risponde di nuovo\n[\\s\\S]*\nUltimo giro: 1 richiesta, "
                        "1 risposta, tempi min/medio/max \\d+,\\d+/\\d+,\\d+/\\d+,\\d+ ms\n"))
        << mails[1];

    cutOff({"127.0.0.9", "127.0.0.3", "127.0.0.4"});
    EXPECT_FALSE(waitForNotice("Ore \\d\\d:\\d\\d\nalfa \\(127\\.0\\.0\\.3\\): non risponde\n"
                               "beta \\(127\\.0\\.0\\.4\\): non risponde\n$")
                     .empty());
    mails = waitForMails(server, 3);
    ASSERT_EQ(mails.size(), 3u);
    EXPECT_TRUE(matches(mails[2], "subject=Corvane: 2 risorse non rispondono\n")) << mails[2];
    watch(2000);
    EXPECT_EQ(notices.size(), 3u);
    EXPECT_EQ(server.Mails().size(), 3u);
}

TEST_F(AlertsE2ETest, MailNeverGoesOutUnprotectedNorHoldsTheGadgetAndAFailureIsToldOnceUntilAMailGoesThrough)
{
    MailServer lax(folder, "lax", {"--port", "2527", "--login", Login, "--lax"});
    MailServer rogue(folder, "rogue", tls("rogue", "starttls", "2528"));
    MailServer good(folder, "good", tls("ca", "implicit", "465", true));
    ASSERT_TRUE(lax.Ready() && rogue.Ready() && good.Ready());
    const pid_t capture = StartProcess({"tcpdump", "-i", "lo", "-U", "-w", folder.File("lo.pcap"), "tcp"}, {},
                                       folder.Path(), folder.File("tcpdump.txt"));
    pause(1000);

    // A server that offers to log in over a connection in clear gets nothing.
    setUp({{"web", "127.0.0.2"}}, "2527", "segreto");
    start();
    watch(3000);
    cutOff({"127.0.0.2"});
    EXPECT_FALSE(waitForNotice("Mail di avviso non inviata:\nil server smtp://127\\.0\\.0\\.1:2527 non offre una "
                               "connessione cifrata e la password non va inviata in chiaro")
                     .empty());

    // STARTTLS with a certificate of an authority nobody trusts: no mail even without a password, and the
    // failure is not told a second time.
    setUp({}, "2528", "");
    cutOff({});
    EXPECT_FALSE(waitForNotice("web \\(127\\.0\\.0\\.2\\)\nrisponde di nuovo").empty());
    watch(3000);

    // TLS from the start on port 465, with the trusted authority: the mail goes through.
    setUp({}, "465", "segreto");
    cutOff({"127.0.0.2"});
    const auto mails = waitForMails(good, 1, 20000);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_TRUE(matches(mails[0], "\ntls=1\nlogin=anna@example.org\n")) << mails[0];
    EXPECT_TRUE(lax.Mails().empty() && rogue.Mails().empty());
    size_t told = 0;
    for (const auto& [window, name] : notices)
        told += name.starts_with("Mail di avviso") ? 1 : 0;
    EXPECT_EQ(told, 1u);

    const std::string log = folder.Read("stderr.txt");
    EXPECT_TRUE(matches(log, "Corvane: mail di avviso non inviata: il server smtp://127.0.0.1:2527 non offre"));
    EXPECT_TRUE(matches(log, "Corvane: mail di avviso non inviata: .*certificate")) << log;
    ::kill(capture, SIGINT);
    WaitForProcess(capture, 5000);
    const std::string traffic = folder.Read("lo.pcap");
    ASSERT_GT(traffic.size(), 1000u) << "nothing was captured";
    // The lax server offers its logins in clear ("250-AUTH ..."); the program must never take it up.
    for (size_t at = traffic.find("AUTH"); at != std::string::npos; at = traffic.find("AUTH", at + 1))
        EXPECT_TRUE(at >= 4 && (traffic.compare(at - 4, 4, "250-") == 0 || traffic.compare(at - 4, 4, "250 ") == 0))
            << "a login was tried in clear";
    // The password as typed, and as AUTH LOGIN and AUTH PLAIN would carry it.
    for (const char* secret : {"segreto", "c2VncmV0bw==", "AGFubmFAZXhhbXBsZS5vcmcAc2VncmV0bw=="})
        EXPECT_EQ(traffic.find(secret), std::string::npos) << secret;
    EXPECT_EQ(log.find("segreto"), std::string::npos);

    // A server that takes the connection and never says a word: the gadget goes on answering meanwhile,
    // and the failure is told again, since a mail has gone through since the last one.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {AF_INET, htons(2529), {htonl(INADDR_LOOPBACK)}, {}};
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    setUp({}, "2529", "");
    cutOff({});
    ASSERT_FALSE(waitForNotice("web \\(127\\.0\\.0\\.2\\)\nrisponde di nuovo").empty());
    const auto sending = Clock::now();
    const QPoint dog = session->WindowGeometry(gadget).value_or(QRect()).topLeft() + QPoint(78, 201 + 95);
    session->Tool({"xdotool", "mousemove", std::to_string(dog.x()), std::to_string(dog.y()), "click", "3"});
    pause(300);
    session->Tool({"xdotool", "key", "i"}); // "&Impostazioni"
    EXPECT_TRUE(session->WaitForWindow("Corvane - Impostazioni", 2000).has_value());
    EXPECT_LT(Clock::now() - sending, std::chrono::seconds(4));
    EXPECT_FALSE(
        waitForNotice("Mail di avviso non inviata:\nil server smtp://127\\.0\\.0\\.1:2529 non ha risposto entro 15",
                      30000)
            .empty());
    const auto waited = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - sending).count();
    EXPECT_GE(waited, 14);
    EXPECT_LE(waited, 20);
    ::close(silent);
}

} // namespace
