#include "platform/program_folder.h"
#include "tests/support/temp_folder.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(ProgramFolderTest, OwnFolderUnlessInstalledOrNotWritable)
{
    TempFolder root;
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "/";
    ::setenv("HOME", root.File("home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", root.File("data").c_str(), 1);
    for (const char* folder : {"portable", "prefix/bin", "prefix/share/corvane", "other/bin", "locked"})
        root.MakeFolder(folder);

    EXPECT_EQ(ProgramFolderFor(root.File("portable/")), root.File("portable/")) << "a portable copy";
    EXPECT_EQ(ProgramFolderFor(root.File("other/bin/")), root.File("other/bin/")) << "a bin folder of no install";
    EXPECT_EQ(ProgramFolderFor(root.File("prefix/bin/")), root.File("data/corvane/")) << "installed";
    ::setenv("XDG_DATA_HOME", "data", 1);
    EXPECT_EQ(ProgramFolderFor(root.File("prefix/bin/")), root.File("home/.local/share/corvane/"))
        << "a relative XDG_DATA_HOME is ignored";
    ::setenv("XDG_DATA_HOME", root.File("data").c_str(), 1);
    // Root may write anywhere, so only an ordinary user meets a folder that is not writable.
    if (::geteuid() != 0) {
        ::chmod(root.File("locked").c_str(), 0555);
        EXPECT_EQ(ProgramFolderFor(root.File("locked/")), root.File("data/corvane/")) << "not writable";
        ::chmod(root.File("locked").c_str(), 0755);
    }
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", home.c_str(), 1);
}

TEST(ProgramFolderTest, FirstStartSeedsTheUserFolderOnce)
{
    TempFolder root;
    root.MakeFolder("prefix/bin");
    root.MakeFolder("prefix/share/corvane");
    root.Write("prefix/share/corvane/dog.wav", "RIFF");
    const std::string user = root.File("data/corvane/");

    SeedProgramFolder(user, root.File("prefix/bin/"));
    EXPECT_EQ(root.Read("data/corvane/dog.wav"), "RIFF");
    EXPECT_TRUE(fs::is_directory(user + "list"));
    EXPECT_TRUE(fs::is_empty(user + "list"));
    struct stat st
    {
    };
    ::stat(user.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A sound the user removed stays removed.
    fs::remove(user + "dog.wav");
    SeedProgramFolder(user, root.File("prefix/bin/"));
    EXPECT_FALSE(root.Exists("data/corvane/dog.wav"));

    // Installed under ~/.local the user folder is the installation's share/corvane, with its sound already.
    root.MakeFolder("local/bin");
    root.MakeFolder("local/share/corvane");
    root.Write("local/share/corvane/dog.wav", "mine");
    SeedProgramFolder(root.File("local/share/corvane/"), root.File("local/bin/"));
    EXPECT_TRUE(fs::is_directory(root.File("local/share/corvane/list")));
    EXPECT_EQ(root.Read("local/share/corvane/dog.wav"), "mine");

    // A portable copy is never seeded: its folder is its own.
    root.MakeFolder("portable");
    SeedProgramFolder(root.File("portable/"), root.File("portable/"));
    EXPECT_TRUE(fs::is_empty(root.File("portable")));

    // A user folder behind a path that cannot be looked at is not seeded, and start-up goes on.
    fs::create_symlink("loop", root.File("loop"));
    EXPECT_NO_THROW(SeedProgramFolder(root.File("loop/corvane/"), root.File("prefix/bin/")));
}

} // namespace
