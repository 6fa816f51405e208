// Faults the real program meets in a network and mount namespace of the test's own: settings files it may
// not write or that fill a full file system, a flood of foreign ICMP, and a resource folder of 2000 files
// and odd entries.
#include "tests/e2e/program_fixture.h"
#include "tests/support/fake_host.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class IsolatedProgramTest : public ProgramTest
{
protected:
    void SetUp() override
    {
        if (!std::getenv("CORVANE_ISOLATED") || ::geteuid() != 0)
            GTEST_SKIP() << "needs root inside scripts/run-isolated (CTest runs it that way)";
        ProgramTest::SetUp();
    }

    void TearDown() override
    {
        ProgramTest::TearDown();
        if (mounted)
            ::umount2(folder.File("data").c_str(), MNT_DETACH);
    }

    bool mounted = false;
};

// Installed, the program keeps its files in the user's data folder: here a 64 KiB file system of its own.
TEST_F(IsolatedProgramTest, SettingsFilesReadOnlyOrOnAFullFileSystemStayAsTheyWereWithTheOneErrorPromised)
{
    folder.MakeFolder("prefix");
    folder.MakeFolder("prefix/bin");
    folder.MakeFolder("prefix/share");
    folder.MakeFolder("prefix/share/corvane");
    fs::rename(folder.File("corvane"), folder.File("prefix/bin/corvane"));
    folder.MakeFolder("data");
    ASSERT_EQ(::mount("tmpfs", folder.File("data").c_str(), "tmpfs", 0, "size=64k"), 0) << std::strerror(errno);
    mounted = true;
    const std::string files = folder.File("data/corvane/");
    const std::string placement = "[Form1]\r\nNormPos=300,200,456,547\r\n\r\n";
    const std::string settings = "[Check]\r\nTimeCheck=1\r\n";
    struct
    {
        const char* fault;
        bool withSettings;
        mode_t mode;
        bool full;
        std::vector<std::string> boxes;
    } cases[] = {
        {"read-only", true, 0444, false, {}},
        {"full file system, first start", false, 0644, true, {"Unable to write to " + files + "corvane.ini."}},
        {"full file system", true, 0644, true, {}},
    };
    for (const auto& c : cases) {
        fs::remove_all(files);
        folder.MakeFolder("data/corvane");
        folder.MakeFolder("data/corvane/list");
        folder.Write("data/corvane/list/loopback.cvr", "127.0.0.1\r\n1\r\n");
        folder.Write("data/corvane/corvane.inf", placement);
        if (c.withSettings)
            folder.Write("data/corvane/corvane.ini", settings);
        for (const char* name : {"corvane.inf", "corvane.ini"})
            ::chmod((files + name).c_str(), c.mode);
        if (c.full) {
            std::ofstream filler(files + "filler", std::ios::binary);
            const std::string block(4096, 'f');
            while (filler.write(block.data(), block.size()) && filler.flush()) { }
        }
        fs::remove(folder.File("stderr.txt"));
        start(folder.File("prefix/bin/corvane"), {{"XDG_DATA_HOME", folder.File("data")}});
        for (size_t box = 1; box <= c.boxes.size(); ++box)
            EXPECT_TRUE(waitForBoxes(box) && answerBox()) << c.fault;
        const std::string window = waitForGadget();
        ASSERT_FALSE(window.empty()) << c.fault;
        // Moved, so the exit has a new placement to write; and a few cycles run meanwhile.
        session->Tool({"xdotool", "windowmove", window, "500", "300"});
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        EXPECT_EQ(stopWithSigterm(), 0) << c.fault;
        EXPECT_EQ(boxes(), c.boxes) << c.fault;
        EXPECT_EQ(folder.Read("data/corvane/corvane.inf"), placement) << c.fault;
        EXPECT_EQ(folder.Exists("data/corvane/corvane.ini") ? folder.Read("data/corvane/corvane.ini") : "none",
                  c.withSettings ? settings : "none")
            << c.fault;
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(files))
            left.push_back(entry.path().filename().string());
        std::sort(left.begin(), left.end());
        std::vector<std::string> kept {"corvane.inf", "list"};
        if (c.withSettings)
            kept.push_back("corvane.ini");
        if (c.full)
            kept.push_back("filler");
        std::sort(kept.begin(), kept.end());
        EXPECT_EQ(left, kept) << c.fault << ": nothing half-written stays behind";
    }
}

TEST_F(IsolatedProgramTest, AForeignIcmpFloodLeavesEveryLiveHostGreenAndEveryDeadHostRed)
{
    FakeHost host;
    ASSERT_TRUE(host.Ready()) << host.Error();
    host.Set("10.77.0.20", {FakeHost::Answer::EchoReply, 20});
    host.Set("10.77.0.21", {FakeHost::Answer::Silence});
    host.Set("10.77.0.22", {FakeHost::Answer::EchoReply, 300});
    folder.Write("corvane.ini", "[Check]\r\nTimeCheck=1\r\n");
    folder.Write("list/a.cvr", "127.0.0.1\r\n2\r\n");
    folder.Write("list/b.cvr", "10.77.0.20\r\n2\r\n");
    folder.Write("list/c.cvr", "10.77.0.21\r\n1\r\n");
    folder.Write("list/d.cvr", "10.77.0.22\r\n1\r\n");
    const std::vector<Shown> outcome {Shown::Up, Shown::Up, Shown::Error, Shown::Up};
    host.Spray({"127.0.0.1", "10.77.0.20", "10.77.0.21", "10.77.0.22", "10.77.0.99"}, 2000);

    start(folder.File("corvane"));
    const std::string window = waitForGadget();
    ASSERT_FALSE(window.empty());
    // Mid-cycle a row may still be idle or busy; but a live host is never red, nor the dead one green.
    int wholeCycles = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (host.RequestsSeen("10.77.0.21") < 4 && std::chrono::steady_clock::now() < deadline) {
        const std::vector<Shown> shown = rows(window, 4);
        ASSERT_EQ(shown.size(), 4u);
        for (const int live : {0, 1, 3})
            EXPECT_NE(shown[live], Shown::Error) << "row " << live;
        EXPECT_NE(shown[2], Shown::Up);
        ASSERT_FALSE(HasFailure());
        wholeCycles += shown == outcome;
        ASSERT_TRUE(session->ProgramRunning());
    }
    EXPECT_GE(host.RequestsSeen("10.77.0.21"), 4);
    EXPECT_GE(wholeCycles, 2) << "every result together on the screen, cycle after cycle";
    EXPECT_EQ(boxes(), std::vector<std::string>());
    EXPECT_EQ(stopWithSigterm(), 0);
}

// A modal box opened during a round holds neither the round nor the close that comes while it is open.
TEST_F(IsolatedProgramTest, ABoxOpenDuringARoundHoldsNeitherMonitoringNorTheClose)
{
    FakeHost host;
    ASSERT_TRUE(host.Ready()) << host.Error();
    host.Set("10.77.0.30", {FakeHost::Answer::Silence});
    host.Set("10.77.0.31", {FakeHost::Answer::EchoReply, 5});
    folder.Write("corvane.ini", "[Check]\r\nTimeCheck=1\r\n");
    folder.Write("list/a.cvr", "10.77.0.30\r\n3\r\n");
    folder.Write("list/b.cvr", "10.77.0.31\r\n1\r\n");
    start(folder.File("corvane"));
    const std::string window = waitForGadget();
    ASSERT_FALSE(window.empty());
    const auto at = session->WindowGeometry(window);
    ASSERT_TRUE(at);
    // Opened from the dog's menu while the silent host's run is under way: "In&formazioni".
    while (host.RequestsSeen("10.77.0.30") < 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    session->Tool({"xdotool", "mousemove", std::to_string(at->x() + 78), std::to_string(at->y() + 280), "click", "3"});
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    session->Tool({"xdotool", "key", "f"});
    for (int waited = 0; waited < 3000 && session->VisibleWindows("^Info su Corvane$").empty(); waited += 100)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_FALSE(session->VisibleWindows("^Info su Corvane$").empty()) << "the about box did not open";
    const int before = host.RequestsSeen("10.77.0.31");
    std::this_thread::sleep_for(std::chrono::seconds(6));
    EXPECT_GE(host.RequestsSeen("10.77.0.31"), before + 1) << "rounds go on under the box";
    EXPECT_GE(host.RequestsSeen("10.77.0.30"), 4);
    ASSERT_FALSE(session->VisibleWindows("^Info su Corvane$").empty());
    const auto signalled = std::chrono::steady_clock::now();
    EXPECT_EQ(stopWithSigterm(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(3));
    EXPECT_TRUE(folder.Exists("corvane.inf")) << "the placement is saved as at any close";
}

// Entries no resource can be, named like one, sorted first; then 2000 files, the last on a host that
// counts the cycles that reach it.
TEST_F(IsolatedProgramTest, TwoThousandResourcesBesideAFifoADirectoryAndASymlinkLoopAreAllPinged)
{
    FakeHost host;
    ASSERT_TRUE(host.Ready()) << host.Error();
    host.Set("10.77.0.30", {FakeHost::Answer::EchoReply});
    folder.Write("corvane.ini", "[Check]\r\nTimeCheck=1\r\n");
    ASSERT_EQ(::mkfifo(folder.File("list/0-fifo.cvr").c_str(), 0644), 0);
    folder.MakeFolder("list/0-folder.cvr");
    fs::create_symlink("0-loop.cvr", folder.File("list/0-loop.cvr"));
    for (int i = 0; i < 2000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "list/r%04d.cvr", i);
        folder.Write(name, i < 1999 ? "127.0.0.1\r\n1\r\n" : "10.77.0.30\r\n1\r\n");
    }
    const auto begin = std::chrono::steady_clock::now();
    start(folder.File("corvane"));
    const std::string window = waitForGadget();
    ASSERT_FALSE(window.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));
    bool firstRowsUp = false;
    for (int waited = 0; host.RequestsSeen("10.77.0.30") < 2 && waited < 60000; waited += 200) {
        firstRowsUp = firstRowsUp || rows(window, 4) == std::vector<Shown>(4, Shown::Up);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_GE(host.RequestsSeen("10.77.0.30"), 2) << "two whole cycles, the timer armed again after the first";
    EXPECT_TRUE(firstRowsUp) << "the odd entries are not listed, so the first rows are resources that answered";
    EXPECT_EQ(boxes(), std::vector<std::string>());
    EXPECT_EQ(stopWithSigterm(), 0);
}

} // namespace
