// Faults the real program meets while it runs and as it ends: its resource folder taken away, and a kill in
// the middle of its exit write.
#include "tests/e2e/program_fixture.h"

#include <csignal>
#include <fstream>
#include <functional>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST_F(ProgramTest, ResourceFolderTakenAwayWhileRunningIsReportedAndMonitoringGoesOnOnceItIsBack)
{
    folder.Write("corvane.ini", "[Check]\r\nTimeCheck=1\r\n");
    folder.Write("list/loopback.cvr", "127.0.0.1\r\n1\r\n");
    const std::string list = folder.File("list");
    // Root reads any folder: an unreadable one needs the program to run as an ordinary user.
    std::string executable = folder.File("corvane");
    std::function<void()> own = [] {};
    if (::geteuid() == 0) {
        folder.Write("as-nobody",
                     "#!/bin/sh\nexec setpriv --reuid=65534 --regid=65534 --clear-groups \"${0%/*}/corvane\"\n");
        ::chmod(folder.File("as-nobody").c_str(), 0755);
        executable = folder.File("as-nobody");
        own = [this] {
            std::vector<fs::path> paths {folder.Path()};
            for (const auto& entry : fs::recursive_directory_iterator(folder.Path()))
                paths.push_back(entry.path());
            for (const auto& path : paths)
                if (::lchown(path.c_str(), 65534, 65534) != 0)
                    ADD_FAILURE() << "cannot give " << path << " away";
        };
        own();
    }
    const auto refill = [&] {
        folder.MakeFolder("list");
        folder.Write("list/loopback.cvr", "127.0.0.1\r\n1\r\n");
        own();
    };
    struct
    {
        const char* fault;
        std::function<void()> make, mend;
        std::string box;
    } faults[] = {
        {"renamed", [&] { fs::rename(list, list + ".away"); }, [&] { fs::rename(list + ".away", list); },
         "File not found."},
        {"removed", [&] { fs::remove_all(list); }, refill, "File not found."},
        {"unreadable", [&] { ::chmod(list.c_str(), 0); }, [&] { ::chmod(list.c_str(), 0755); }, "File access denied."},
        {"a file in its place", [&] { fs::remove_all(list), folder.Write("list", "x"); },
         [&] { fs::remove(list), refill(); }, "Invalid filename."},
    };
    start(executable);
    const std::string window = waitForGadget();
    ASSERT_FALSE(window.empty()) << folder.Read("stderr.txt");
    std::vector<std::string> expected;
    for (const auto& fault : faults) {
        fault.make();
        expected.push_back(fault.box);
        EXPECT_TRUE(waitForBoxes(expected.size())) << fault.fault;
        // Mended before the box is answered, so the next tick finds the folder again and stays quiet.
        fault.mend();
        EXPECT_TRUE(answerBox()) << fault.fault;
        std::this_thread::sleep_for(std::chrono::milliseconds(1300));
        EXPECT_EQ(boxes(), expected) << fault.fault;
    }
    EXPECT_EQ(stopWithSigterm(), 0);
    EXPECT_EQ(folder.Read("list/loopback.cvr"), "127.0.0.1\r\n1\r\n");
}

// Whether the program handles SIGTERM yet: it does from the moment a close can end it properly.
bool takesSigterm(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("SigCgt:"))
            return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

pid_t startReady(const std::string& executable, const std::string& folder)
{
    const pid_t pid = StartProcess({executable}, {{"QT_QPA_PLATFORM", "offscreen"}}, folder, "/dev/null");
    for (int waited = 0; pid > 0 && !takesSigterm(pid) && waited < 10000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return pid;
}

// A kill at any moment of the exit leaves the placement file as it was or as the exit wrote it, whole.
TEST(ExitFlushTest, KilledTwoHundredTimesDuringItsExitWriteThePlacementIsTheOldOrTheNewNeverAPart)
{
    TempFolder folder;
    fs::copy_file(fs::path(CORVANE_PROGRAM_DIR) / "corvane", folder.File("corvane"));
    folder.MakeFolder("list");
    // Big enough that the write takes a while; LF line breaks, which the exit rewrites as CR LF.
    std::string old = "[Form1]\nNormPos=100,100,256,447\n\n[Notes]\n";
    for (int i = 0; old.size() < 900 * 1024; ++i)
        old += "note" + std::to_string(i) + "=" + std::string(100, 'n') + "\n";

    folder.Write("corvane.inf", old);
    const pid_t first = startReady(folder.File("corvane"), folder.Path());
    ASSERT_GT(first, 0);
    const auto asked = std::chrono::steady_clock::now();
    ::kill(first, SIGTERM);
    int status = -1;
    ASSERT_EQ(::waitpid(first, &status, 0), first);
    const auto exitTime = std::chrono::steady_clock::now() - asked;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string written = folder.Read("corvane.inf");
    ASSERT_NE(written, old);

    std::mt19937 random(std::random_device {}());
    std::uniform_int_distribution<long> delay(
        0, std::chrono::duration_cast<std::chrono::microseconds>(exitTime).count() * 6 / 5);
    int asOld = 0, asNew = 0, interrupted = 0;
    for (int kill = 0; kill < 200; ++kill) {
        folder.Write("corvane.inf", old);
        const pid_t pid = startReady(folder.File("corvane"), folder.Path());
        ASSERT_GT(pid, 0);
        ::kill(pid, SIGTERM);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(pid, SIGKILL);
        ASSERT_TRUE(WaitForProcess(pid, 10000));
        const std::string left = folder.Read("corvane.inf");
        asOld += left == old;
        asNew += left == written;
        ASSERT_TRUE(left == old || left == written) << "kill " << kill << " left " << left.size() << " bytes";
        for (const auto& entry : fs::directory_iterator(folder.Path()))
            if (entry.path().filename().string().starts_with(".corvane-"))
                interrupted += fs::remove(entry.path());
    }
    // Kills before the write, during it and after it: otherwise the loop proved nothing.
    EXPECT_GT(asOld, 0);
    EXPECT_GT(asNew, 0);
    EXPECT_GT(interrupted, 0) << "no kill landed inside the write";
    std::cout << "exit " << std::chrono::duration_cast<std::chrono::microseconds>(exitTime).count()
              << " us; kills leaving the old file " << asOld << ", the new one " << asNew << ", a temporary "
              << interrupted << "\n";
}

} // namespace
