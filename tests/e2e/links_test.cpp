// Symbolic links in the program folder: run as root the program neither reads nor writes through them; an
// ordinary user's links to their own files keep working.
#include "tests/e2e/program_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST_F(ProgramTest, AsRootLinksPlantedInTheFolderAreNeitherReadNorWrittenThrough)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    TempFolder elsewhere;
    const std::string passwd = "root:x:0:0:root:/root:/bin/bash\n";
    elsewhere.Write("passwd", passwd);
    elsewhere.Write("shadow", "secret-host\r\nsecret-hash\r\n");
    fs::create_symlink(elsewhere.File("passwd"), folder.File("corvane.inf"));
    fs::create_symlink(elsewhere.File("shadow"), folder.File("list/b.cvr"));
    folder.Write("list/a.cvr", "127.0.0.1\r\n1\r\n");
    folder.Write("corvane.ini", "[Check]\r\nTimeCheck=1\r\n");

    start(folder.File("corvane"));
    ASSERT_FALSE(waitForGadget().empty()) << folder.Read("stderr.txt");
    ASSERT_TRUE(waitForBoxes(1));
    EXPECT_EQ(boxes().front(),
              "Cannot open file \"" + folder.File("list/b.cvr")
                  + "\". Collegamento simbolico rifiutato: eseguito come root, Corvane non segue "
                    "collegamenti nella sua cartella.");
    EXPECT_TRUE(answerBox());
    EXPECT_EQ(stopWithSigterm(), 0);
    EXPECT_EQ(folder.Read("stderr.txt").find("secret"), std::string::npos) << folder.Read("stderr.txt");
    EXPECT_EQ(elsewhere.Read("passwd"), passwd);
    EXPECT_TRUE(fs::is_symlink(folder.File("corvane.inf"))) << "the placement of a file never seen is not kept";
}

TEST_F(ProgramTest, AnOrdinaryUsersLinksToTheirOwnFilesAreReadAndWrittenThrough)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the program as another user";
    // The user's dotfiles repository, linked into the program folder.
    folder.MakeFolder("dotfiles");
    folder.Write("dotfiles/corvane.ini", "[Check]\r\nTimeCheck=1\r\n");
    folder.Write("dotfiles/corvane.inf", "[Form1]\r\nNormPos=300,200,456,547\r\n");
    folder.Write("dotfiles/a.cvr", "127.0.0.1\r\n1\r\n");
    for (const char* name : {"corvane.ini", "corvane.inf"})
        fs::create_symlink("dotfiles/" + std::string(name), folder.File(name));
    fs::create_symlink("../dotfiles/a.cvr", folder.File("list/a.cvr"));
    folder.Write("as-nobody",
                 "#!/bin/sh\nexec setpriv --reuid=65534 --regid=65534 --clear-groups \"${0%/*}/corvane\"\n");
    ::chmod(folder.File("as-nobody").c_str(), 0755);
    std::vector<fs::path> paths {folder.Path()};
    for (const auto& entry : fs::recursive_directory_iterator(folder.Path()))
        paths.push_back(entry.path());
    for (const auto& path : paths)
        ASSERT_EQ(::lchown(path.c_str(), 65534, 65534), 0) << path;

    start(folder.File("as-nobody"));
    const std::string window = waitForGadget();
    ASSERT_FALSE(window.empty()) << folder.Read("stderr.txt");
    EXPECT_EQ(session->WindowGeometry(window)->topLeft(), QPoint(300, 200));
    // Cycles every second read the linked resource; an unreadable one would show its error.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_TRUE(boxes().empty()) << folder.Read("stderr.txt");
    EXPECT_EQ(stopWithSigterm(), 0);
    for (const char* name : {"corvane.ini", "corvane.inf", "list/a.cvr"})
        EXPECT_TRUE(fs::is_symlink(folder.File(name))) << name;
    EXPECT_TRUE(folder.Read("dotfiles/corvane.inf").starts_with("[Form1]\r\nNormPos=300,200,456,547\r\nFormVersion=0"))
        << folder.Read("dotfiles/corvane.inf");
}

} // namespace
