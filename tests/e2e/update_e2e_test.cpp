// The real program's update check on a private X server, against a scripted server in the test's own
// network namespace: the notice at the corner, its click, two checks stacked, and a server that is not there.
#include "tests/e2e/desktop_session.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/temp_folder.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int ScreenWidth = 1280;
constexpr int ScreenHeight = 1024;
const std::string PagePath = "/downloads/vanta/updates/corvane.html";
const std::string NoNews = "Controllo aggiornamenti, al momento non ci sono novit\xc3\xa0.\nMaggiori info sul sito";
const std::string NewVersion = "E' uscita una nuova versione di \nCorvane\nClicca qui per visitare la pagina web";

std::string page(const std::string& version)
{
    return ScriptedHttpServer::InfoPage({{"wuProduct", "Corvane"},
                                         {"wuVersion", version},
                                         {"wuClientSideName", "corvane-setup.run"},
                                         {"wuDownload", "127.0.0.1/files/corvane-setup.run"}});
}

class UpdateE2ETest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!std::getenv("CORVANE_ISOLATED") || ::geteuid() != 0)
            GTEST_SKIP() << "needs root inside scripts/run-isolated (CTest runs it that way)";
        for (const char* tool : {"Xvfb", "xdotool", "xwininfo", "openbox"})
            if (!CommandAvailable(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
        session = std::make_unique<DesktopSession>(ScreenWidth, ScreenHeight);
        if (!session->Started() || !session->StartWindowManager())
            GTEST_SKIP() << "Xvfb or openbox did not start";
        fs::copy_file(fs::path(CORVANE_PROGRAM_DIR) / "corvane", folder.File("corvane"));
        folder.MakeFolder("list");
        folder.Write("list/loopback.cvr", "127.0.0.1\r\n1\r\n");
        // The shell seam of the real program is xdg-open: this one only notes what it was given.
        folder.MakeFolder("bin");
        folder.Write("bin/xdg-open", "#!/bin/sh\necho \"$@\" >> '" + folder.File("opened.txt") + "'\n");
        fs::permissions(folder.File("bin/xdg-open"), fs::perms::owner_all);
    }

    void TearDown() override
    {
        if (session)
            session->StopProgram();
        std::system("nft delete table ip corvane_e2e 2>/dev/null");
    }

    // Starts the program asking `host`; returns the gadget's window and how long it took to appear.
    std::string start(const std::string& host, long* elapsedMs = nullptr)
    {
        const auto begin = Clock::now();
        session->StartProgram(
            folder.File("corvane"), folder.Path(),
            {{"CORVANE_UPDATE_HOST", host}, {"PATH", folder.File("bin") + ":" + std::string(std::getenv("PATH"))}});
        const auto window = session->WaitForWindow("Corvane", 30000);
        if (elapsedMs)
            *elapsedMs = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count());
        return window.value_or(std::string());
    }

    // The notices on screen, as (window, name) pairs, once `count` of them are up.
    std::vector<std::pair<std::string, std::string>> notices(size_t count, int timeoutMs = 8000)
    {
        std::vector<std::pair<std::string, std::string>> found;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        do {
            found.clear();
            for (const char* pattern : {"^Controllo aggiornamenti", "^E' uscita"})
                for (const std::string& window : session->VisibleWindows(pattern)) {
                    std::string name = session->Tool({"xdotool", "getwindowname", window}).output;
                    if (!name.empty() && name.back() == '\n')
                        name.pop_back();
                    found.emplace_back(window, name);
                }
            if (found.size() >= count)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (Clock::now() < deadline);
        // Let the slide finish.
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        return found;
    }

    QRect geometry(const std::string& window) { return session->WindowGeometry(window).value_or(QRect()); }

    // Picks a command of the dog's menu by its accelerator key.
    void command(const std::string& window, const char* key)
    {
        const QPoint dog = geometry(window).topLeft() + QPoint(78, 201 + 95);
        session->Tool({"xdotool", "mousemove", std::to_string(dog.x()), std::to_string(dog.y()), "click", "3"});
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        session->Tool({"xdotool", "key", key});
    }

    TempFolder folder;
    std::unique_ptr<DesktopSession> session;
};

TEST_F(UpdateE2ETest, NothingNewShowsItsNoticeAtTheCornerAndAClickOpensTheProductPage)
{
    ScriptedHttpServer server;
    ASSERT_TRUE(server.Ready()) << server.Error();
    server.Set(PagePath, ScriptedHttpServer::Page(page("0.6.34.60")));
    ASSERT_FALSE(start("127.0.0.1").empty()) << "the gadget did not appear";
    const auto shown = notices(1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].second, NoNews);
    EXPECT_EQ(geometry(shown[0].first), QRect(ScreenWidth - 16 - 200, ScreenHeight - 2 - 121, 200, 121));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0], ScriptedHttpServer::UpdatePageRequest);

    const QPoint centre = geometry(shown[0].first).center();
    session->Tool({"xdotool", "mousemove", std::to_string(centre.x()), std::to_string(centre.y()), "click", "1"});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(folder.Read("opened.txt"), "https://corvane.example.org/corvane.php\n");
    EXPECT_TRUE(notices(1, 300).empty()) << "a click closes the notice";
}

TEST_F(UpdateE2ETest, ANewerVersionIsAnnouncedAndACheckFromTheMenuStacksAboveIt)
{
    ScriptedHttpServer server;
    ASSERT_TRUE(server.Ready()) << server.Error();
    server.Set(PagePath, ScriptedHttpServer::Page(page("0.6.35.0")));
    const std::string window = start("127.0.0.1");
    ASSERT_FALSE(window.empty()) << "the gadget did not appear";
    auto shown = notices(1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].second, NewVersion);

    // "Ve&rifica aggiornamenti" from the dog's menu.
    const QPoint dog = geometry(window).topLeft() + QPoint(78, 201 + 95);
    session->Tool({"xdotool", "mousemove", std::to_string(dog.x()), std::to_string(dog.y()), "click", "3"});
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    session->Tool({"xdotool", "key", "r"});
    shown = notices(2);
    ASSERT_EQ(shown.size(), 2u);
    std::vector<int> tops {geometry(shown[0].first).top(), geometry(shown[1].first).top()};
    std::sort(tops.begin(), tops.end());
    EXPECT_EQ(tops, (std::vector<int> {ScreenHeight - 2 - 121 - 123, ScreenHeight - 2 - 121}));
    EXPECT_EQ(server.Paths(), (std::vector<std::string> {PagePath, PagePath})) << "nothing is downloaded";
    EXPECT_FALSE(folder.Exists("opened.txt"));
}

TEST_F(UpdateE2ETest, WithTheServerDownOrBlackHoledTheGadgetStillComesAndNoNoticeDoes)
{
    long refusedMs = 0;
    ASSERT_FALSE(start("127.0.0.1", &refusedMs).empty()) << "the gadget did not appear";
    EXPECT_TRUE(notices(1, 2000).empty());
    session->StopProgram();

    if (std::system("nft add table ip corvane_e2e && nft add chain ip corvane_e2e out "
                    "'{ type filter hook output priority 0; }' && nft add rule ip corvane_e2e out "
                    "ip daddr 127.0.0.9 tcp dport 80 drop")
        != 0)
        GTEST_SKIP() << "nft is not available";
    long blackHoledMs = 0;
    const std::string window = start("127.0.0.9", &blackHoledMs);
    std::system("nft delete table ip corvane_e2e");
    ASSERT_FALSE(window.empty()) << "the gadget did not appear";
    EXPECT_TRUE(notices(1, 2000).empty());
    std::printf("time to window: %ld ms with the server refusing, %ld ms with its host black-holed\n", refusedMs,
                blackHoledMs);
    EXPECT_LT(blackHoledMs, refusedMs + 3000 + 2000);
}

TEST_F(UpdateE2ETest, ARedirectionChainIsGivenOneBoundForTheWholeCheck)
{
    ScriptedHttpServer server;
    ASSERT_TRUE(server.Ready()) << server.Error();
    // Three pages, each slow but well within a bound of its own.
    const auto slow = [](const std::string& body) {
        ScriptedHttpServer::Reply reply = ScriptedHttpServer::Page(body);
        reply.delayBeforeMs = 4000;
        return reply;
    };
    server.Set(PagePath, slow(ScriptedHttpServer::InfoPage({{"wuRedirection", "127.0.0.1/second"}})));
    server.Set("/second", slow(ScriptedHttpServer::InfoPage({{"wuRedirection", "127.0.0.1/third"}})));
    server.Set("/third", slow(page("0.6.34.60")));
    long elapsedMs = 0;
    ASSERT_FALSE(start("127.0.0.1", &elapsedMs).empty()) << "the gadget did not appear";
    std::printf("time to window behind a chain of three 4 s pages: %ld ms\n", elapsedMs);
    EXPECT_LT(elapsedMs, 12000);
    EXPECT_EQ(server.Paths(), (std::vector<std::string> {PagePath, "/second", "/third"}));
    EXPECT_TRUE(notices(1, 1000).empty()) << "the check gave up on the last page";
}

TEST_F(UpdateE2ETest, ARoundRunFromTheMenuWhileACheckWaitsHoldsTheCheckUpNoLonger)
{
    // A round over a host that never answers: twelve echo requests of a second each. Its replies are dropped
    // rather than its requests, which the sender would be told of.
    if (std::system(
            "nft add table ip corvane_e2e && nft add chain ip corvane_e2e in "
            "'{ type filter hook input priority 0; }' && nft add rule ip corvane_e2e in ip saddr 127.0.0.9 drop")
        != 0)
        GTEST_SKIP() << "nft is not available";
    folder.Write("list/silent.cvr", "127.0.0.9\r\n12\r\n");
    ScriptedHttpServer server;
    ASSERT_TRUE(server.Ready()) << server.Error();
    server.Set(PagePath, ScriptedHttpServer::Page(page("0.6.34.60")));
    const std::string window = start("127.0.0.1");
    ASSERT_FALSE(window.empty()) << "the gadget did not appear";
    ASSERT_EQ(notices(1).size(), 1u);

    ScriptedHttpServer::Reply late = ScriptedHttpServer::Page(page("0.6.35.0"));
    late.delayBeforeMs = 2000;
    server.Set(PagePath, late);
    const auto begin = Clock::now();
    command(window, "r"); // "Ve&rifica aggiornamenti"
    command(window, "p"); // "Avvia i &processi immediatamente", while the check waits for the answer
    std::vector<std::pair<std::string, std::string>> shown;
    while (shown.empty() && Clock::now() - begin < std::chrono::seconds(25))
        for (const auto& notice : notices(0, 500))
            if (notice.second == NewVersion)
                shown.push_back(notice);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count();
    EXPECT_EQ(shown.size(), 1u) << "the check failed after " << waited << " ms";
    // Rounds are events of the loop: the check's answer is taken as it comes, not after the round.
    EXPECT_GE(waited, 1900);
    EXPECT_LT(waited, 8000) << "the round held the check up";
}

TEST_F(UpdateE2ETest, APageOnAConnectionKeptOpenCountsAndAReplacedExecutableKeepsItsVersion)
{
    ScriptedHttpServer server;
    ASSERT_TRUE(server.Ready()) << server.Error();
    // The page is whole once its announced length has come, though the server does not close.
    ScriptedHttpServer::Reply kept = ScriptedHttpServer::Page(page("0.6.34.60"));
    kept.holdOpen = true;
    server.Set(PagePath, kept);
    long elapsedMs = 0;
    const std::string window = start("127.0.0.1", &elapsedMs);
    ASSERT_FALSE(window.empty()) << "the gadget did not appear";
    EXPECT_LT(elapsedMs, 5000) << "the check waited for the server to close";
    ASSERT_EQ(notices(1).size(), 1u);

    // An upgrade writes the new file beside the old one and renames it over it; this one has no version.
    folder.Write("corvane.new", "#!/bin/sh\n");
    fs::rename(folder.File("corvane.new"), folder.File("corvane"));
    command(window, "r");
    const auto shown = notices(2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].second, NoNews);
    EXPECT_EQ(shown[1].second, NoNews);
}

} // namespace
