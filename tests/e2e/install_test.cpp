// The program as `cmake --install` lays it out: started from the prefix, it keeps the user's files in the
// user's data folder and writes nothing beside the executable.
#include "tests/e2e/desktop_session.h"
#include "tests/support/temp_folder.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(InstallTest, InstalledProgramStartsWithItsFilesInTheUserDataFolder)
{
    for (const char* tool : {"Xvfb", "xdotool", "cmake"})
        if (!CommandAvailable(tool))
            GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
    TempFolder folder;
    const std::string build = fs::path(CORVANE_PROGRAM_DIR).parent_path().string();
    const CommandResult installed = RunCommand({"cmake", "--install", build, "--prefix", folder.File("prefix")});
    ASSERT_EQ(installed.status, 0) << installed.output;
    const fs::path prefix = folder.File("prefix");
    EXPECT_EQ(namesIn(prefix / "bin"), (std::vector<std::string> {"corvane", "corvane-ping"}));
    EXPECT_TRUE(fs::is_regular_file(prefix / "share/icons/hicolor/scalable/apps/corvane.svg"));
    EXPECT_TRUE(fs::is_regular_file(prefix / "share/corvane/dog.wav"));
    ASSERT_TRUE(fs::is_regular_file(prefix / "share/applications/corvane.desktop"));
    if (CommandAvailable("desktop-file-validate")) {
        const auto valid
            = RunCommand({"desktop-file-validate", (prefix / "share/applications/corvane.desktop").string()});
        EXPECT_EQ(valid.status, 0) << valid.output;
    }

    DesktopSession session;
    if (!session.Started())
        GTEST_SKIP() << "Xvfb did not start";
    folder.MakeFolder("work");
    session.StartProgram((prefix / "bin/corvane").string(), folder.File("work"),
                         {{"XDG_DATA_HOME", folder.File("data")}, {"HOME", folder.File("home")}});
    ASSERT_TRUE(session.WaitForWindow("Corvane")) << "the installed gadget did not appear";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    session.SignalProgram(SIGTERM);
    int status = -1;
    ASSERT_TRUE(session.WaitForExit(10000, &status));
    EXPECT_EQ(status, 0);

    const fs::path data = folder.File("data/corvane");
    EXPECT_EQ(namesIn(data), (std::vector<std::string> {"corvane.inf", "corvane.ini", "dog.wav", "list"}));
    EXPECT_TRUE(fs::is_empty(data / "list"));
    EXPECT_EQ(namesIn(prefix / "bin"), (std::vector<std::string> {"corvane", "corvane-ping"}));
    EXPECT_TRUE(fs::is_empty(folder.File("work")));
}

// An empty entry in a run path is the current folder: a library planted where the program is started would
// be loaded in place of the system's.
TEST(InstallTest, NeitherTheBuiltNorTheInstalledProgramLooksForLibrariesInTheCurrentFolder)
{
    if (!CommandAvailable("readelf"))
        GTEST_SKIP() << "readelf is not installed";
    TempFolder folder;
    const std::string build = fs::path(CORVANE_PROGRAM_DIR).parent_path().string();
    ASSERT_EQ(RunCommand({"cmake", "--install", build, "--prefix", folder.File("prefix")}).status, 0);
    for (const fs::path& program :
         {fs::path(CORVANE_PROGRAM_DIR) / "corvane", fs::path(CORVANE_PROGRAM_DIR) / "corvane-ping",
          fs::path(folder.File("prefix/bin/corvane"))}) {
        const CommandResult dynamic = RunCommand({"readelf", "-d", program.string()});
        ASSERT_EQ(dynamic.status, 0) << dynamic.output;
        std::istringstream lines(dynamic.output);
        for (std::string line; std::getline(lines, line);) {
            if (line.find("RPATH") == std::string::npos && line.find("RUNPATH") == std::string::npos)
                continue;
            const std::string paths = line.substr(line.find('[') + 1, line.rfind(']') - line.find('[') - 1);
            std::istringstream entries(paths + ":");
            for (std::string entry; std::getline(entries, entry, ':');)
                EXPECT_TRUE(entry.starts_with('/') || entry.starts_with("$ORIGIN"))
                    << program << ": \"" << entry << "\" in " << line;
        }
    }
}

} // namespace
