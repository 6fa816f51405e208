// The real program ending other than by its menu: signals, a lost display, and odd files in its folder.
#include "tests/e2e/desktop_session.h"
#include "tests/support/temp_folder.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace {

namespace fs = std::filesystem;

std::string placementAt(int left, int top)
{
    const std::string rect = std::to_string(left) + "," + std::to_string(top) + "," + std::to_string(left + 156) + ","
        + std::to_string(top + 347);
    return "[Form1]\r\nFormVersion=0\r\nShowCmd=1\r\nFlags=0\r\nPixelsPerInch=96\r\n"
           "MinMaxPos(1280x1024)=-1,-1,-1,-1\r\nMinMaxPos=-1,-1,-1,-1\r\n"
           "NormPos(1280x1024)="
        + rect + "\r\nNormPos=" + rect + "\r\n\r\n";
}

class ShutdownTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool", "xwininfo"})
            if (!CommandAvailable(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
        session = std::make_unique<DesktopSession>(1280, 1024);
        if (!session->Started())
            GTEST_SKIP() << "Xvfb did not start";
        fs::copy_file(fs::path(CORVANE_PROGRAM_DIR) / "corvane", folder.File("corvane"));
        folder.MakeFolder("list");
        folder.Write("list/loopback.cvr", "127.0.0.1\r\n1\r\n");
    }

    void TearDown() override
    {
        if (session)
            session->StopProgram();
    }

    bool start()
    {
        session->StartProgram(folder.File("corvane"), folder.Path());
        const auto window = session->WaitForWindow("Corvane");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return window.has_value();
    }

    int waitForExit()
    {
        int status = -1;
        if (!session->WaitForExit(10000, &status))
            ADD_FAILURE() << "the program did not end";
        return status;
    }

    TempFolder folder;
    std::unique_ptr<DesktopSession> session;
};

TEST_F(ShutdownTest, TerminationSignalsCloseTheProgramAndSaveThePlacement)
{
    int left = 100;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        folder.Write("corvane.inf", placementAt(left, 200));
        ASSERT_TRUE(start()) << "signal " << signal;
        // The window was somewhere else before the signal: the file must be what this run wrote.
        session->Tool({"xdotool", "search", "--onlyvisible", "--name", "^Corvane$", "windowmove",
                       std::to_string(left + 10), "210"});
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        session->SignalProgram(signal);
        EXPECT_EQ(waitForExit(), 0) << "signal " << signal;
        EXPECT_EQ(folder.Read("corvane.inf"), placementAt(left + 10, 210)) << "signal " << signal;
        left += 100;
    }
}

TEST_F(ShutdownTest, LostDisplayStillSavesThePlacement)
{
    folder.Write("corvane.inf", placementAt(300, 200));
    ASSERT_TRUE(start());
    session->Tool({"xdotool", "search", "--onlyvisible", "--name", "^Corvane$", "windowmove", "420", "260"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    session->StopServer();
    EXPECT_NE(waitForExit(), 0) << "a program without its display ends with a failure";
    EXPECT_EQ(folder.Read("corvane.inf"), placementAt(420, 260));
}

TEST_F(ShutdownTest, SpecialFilesInPlaceOfTheSettingsStillLetItStart)
{
    struct
    {
        const char* what;
        std::function<void(const std::string&)> make;
    } kinds[] = {
        {"FIFO", [](const std::string& path) { ::mkfifo(path.c_str(), 0600); }},
        {"link to /dev/zero", [](const std::string& path) { fs::create_symlink("/dev/zero", path); }},
    };
    for (const auto& kind : kinds) {
        for (const char* name : {"corvane.ini", "corvane.inf"}) {
            fs::remove(folder.File(name));
            kind.make(folder.File(name));
        }
        ASSERT_TRUE(start()) << kind.what;
        session->SignalProgram(SIGTERM);
        EXPECT_EQ(waitForExit(), 0) << kind.what;
        for (const char* name : {"corvane.ini", "corvane.inf"})
            EXPECT_FALSE(fs::is_regular_file(folder.File(name))) << kind.what << ": " << name << " is left alone";
    }
}

TEST_F(ShutdownTest, StartUpSweepsAwayTemporariesAKilledWriteLeft)
{
    for (const char* name : {".corvane-k1ll3d", "list/.corvane-Xy9876"}) {
        folder.Write(name, std::string(1 << 20, 'x'));
        const timespec old[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
        ::utimensat(AT_FDCWD, folder.File(name).c_str(), old, 0);
    }
    ASSERT_TRUE(start());
    EXPECT_FALSE(folder.Exists(".corvane-k1ll3d"));
    EXPECT_FALSE(folder.Exists("list/.corvane-Xy9876"));
}

} // namespace
