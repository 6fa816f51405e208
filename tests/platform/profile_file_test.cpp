#include "platform/atomic_file.h"
#include "platform/profile_file.h"
#include "tests/support/temp_folder.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

mode_t modeOf(const std::string& path)
{
    struct stat st
    {
    };
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(ProfileEditTest, ReplacesInPlaceAndKeepsEveryOtherByte)
{
    const std::string before = "; my settings\r\n"
                               "[Check]\r\n"
                               "  TimeCheck = 15   \r\n"
                               "Extra=1\r\n"
                               "\r\n"
                               "[Other]\r\n"
                               "garbage line without equals\r\n";
    const std::string after = ProfileSetValue(before, "check", "timecheck", "30");
    EXPECT_EQ(after,
              "; my settings\r\n"
              "[Check]\r\n"
              "  TimeCheck=30\r\n"
              "Extra=1\r\n"
              "\r\n"
              "[Other]\r\n"
              "garbage line without equals\r\n");
}

TEST(ProfileEditTest, AddsMissingKeyAtTheEndOfItsSectionAndMissingSectionAtTheEnd)
{
    const std::string before = "[Check]\r\nTimeCheck=15\r\n\r\n[Mail]\r\nhost=a\r\n";
    EXPECT_EQ(ProfileSetValue(before, "Check", "New", "x"),
              "[Check]\r\nTimeCheck=15\r\nNew=x\r\n\r\n[Mail]\r\nhost=a\r\n");
    EXPECT_EQ(ProfileSetValue(before, "Extra", "k", "v"),
              "[Check]\r\nTimeCheck=15\r\n\r\n[Mail]\r\nhost=a\r\n[Extra]\r\nk=v\r\n");
    EXPECT_EQ(ProfileSetValue("", "Check", "TimeCheck", "15"), "[Check]\r\nTimeCheck=15\r\n");
    // A last line without a line break gets one before anything is added.
    EXPECT_EQ(ProfileSetValue("[Check]\r\nTimeCheck=15", "Check", "A", "1"), "[Check]\r\nTimeCheck=15\r\nA=1\r\n");
    EXPECT_EQ(ProfileSetValue("junk", "S", "k", "v"), "junk\r\n[S]\r\nk=v\r\n");
    // A carriage return alone does not end the last line: the new key still starts a line of its own.
    EXPECT_EQ(ProfileGetValue(ProfileSetValue("[S]\r", "S", "k", "v"), "S", "k"), "v");
}

TEST(ProfileEditTest, FollowsTheLineBreaksOfAnLfFile)
{
    const std::string before = "[Check]\nTimeCheck=15\n";
    EXPECT_EQ(ProfileSetValue(before, "Check", "TimeCheck", "20"), "[Check]\nTimeCheck=20\n");
    EXPECT_EQ(ProfileSetValue(before, "Mail", "host", "h"), "[Check]\nTimeCheck=15\n[Mail]\nhost=h\n");
}

TEST(ProfileEditTest, ValuesNeverBreakTheLineStructure)
{
    const std::string after = ProfileSetValue("[Mail]\r\npwd=a\r\n", "Mail", "pwd", "x\r\n[Check]\r\nTimeCheck=1");
    EXPECT_EQ(after, "[Mail]\r\npwd=x  [Check]  TimeCheck=1\r\n");
    EXPECT_FALSE(ProfileGetValue(after, "Check", "TimeCheck"));
}

TEST(ProfileEditTest, EveryValueReadsBackAsWritten)
{
    for (const std::string value : {"plain", "", " pw ", "\tlead", "trail ", "\"quoted\"", "'single'", "\"",
                                    "a \"b\" c", "\"half", "' mixed \"", " ", "\"\""}) {
        const std::string content = ProfileSetValue("[Mail]\r\npwd=old\r\n", "Mail", "pwd", value);
        EXPECT_EQ(ProfileGetValue(content, "Mail", "pwd"), value) << content;
    }
    EXPECT_EQ(ProfileSetValue("", "Mail", "pwd", " pw "), "[Mail]\r\npwd=\" pw \"\r\n");
    EXPECT_EQ(ProfileSetValue("", "Mail", "host", "ip smtp server"), "[Mail]\r\nhost=ip smtp server\r\n");
}

TEST(ProfileReadTest, MatchesNamesWithoutRegardToCaseAndTrimsValues)
{
    const std::string content = "top=level\r\n"
                                "[ CHECK ]\r\n"
                                "TIMECHECK =  0x1E \r\n"
                                ";TimeCheck=commented\r\n"
                                "TimeCheck=second\r\n"
                                "quoted=\"  spaced  \"\r\n"
                                "empty=\r\n"
                                "[Check]\r\n"
                                "Late=found\r\n";
    EXPECT_EQ(ProfileGetValue(content, "check", "timecheck"), "0x1E");
    EXPECT_EQ(ProfileGetValue(content, "Check", "quoted"), "  spaced  ");
    EXPECT_EQ(ProfileGetValue(content, "Check", "empty"), "");
    EXPECT_EQ(ProfileGetValue(content, "Check", "Late"), "found");
    EXPECT_FALSE(ProfileGetValue(content, "Check", "top"));
    EXPECT_FALSE(ProfileGetValue(content, "Nope", "TimeCheck"));
    EXPECT_FALSE(ProfileGetValue("no sections at all\r\nTimeCheck=5\r\n", "Check", "TimeCheck"));
    EXPECT_FALSE(ProfileGetValue(std::string("\0\x01\xff[\r\n=", 7), "Check", "TimeCheck"));
}

TEST(ProfileReadTest, AByteOrderMarkDoesNotHideTheFirstSection)
{
    const std::string content = "\xef\xbb\xbf[Check]\r\nTimeCheck=30\r\n";
    EXPECT_EQ(ProfileGetValue(content, "Check", "TimeCheck"), "30");
    EXPECT_EQ(ProfileSetValue(content, "Check", "TimeCheck", "45"), "\xef\xbb\xbf[Check]\r\nTimeCheck=45\r\n");
    EXPECT_EQ(ProfileSetValue(content, "Check", "New", "1"), "\xef\xbb\xbf[Check]\r\nTimeCheck=30\r\nNew=1\r\n");
    // Only at the very start.
    EXPECT_FALSE(ProfileGetValue("\r\n\xef\xbb\xbf[Check]\r\nTimeCheck=30\r\n", "Check", "TimeCheck"));
}

TEST(ProfileReadTest, CutsLongValues)
{
    const std::string content = "[S]\r\nk=" + std::string(5000, 'v') + "\r\n";
    EXPECT_EQ(ProfileGetValue(content, "S", "k")->size(), ProfileValueLimit);
}

TEST(ProfileFileTest, CreatesAFileForItsOwnerOnly)
{
    TempFolder folder;
    const std::string path = folder.File("corvane.ini");
    ASSERT_EQ(WriteProfileString("Check", "TimeCheck", "15", path), 0);
    EXPECT_EQ(folder.Read("corvane.ini"), "[Check]\r\nTimeCheck=15\r\n");
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(ReadProfileString("check", "TIMECHECK", "20", path), "15");
    EXPECT_EQ(ReadProfileString("Check", "Missing", "20", path), "20");
    EXPECT_EQ(ReadProfileString("Check", "TimeCheck", "20", folder.File("absent.ini")), "20");
}

TEST(ProfileFileTest, KeepsTheModeOfAnExistingFile)
{
    TempFolder folder;
    folder.Write("corvane.ini", "[Check]\nTimeCheck=15\n");
    ::chmod(folder.File("corvane.ini").c_str(), 0640);
    ASSERT_EQ(WriteProfileString("Check", "TimeCheck", "30", folder.File("corvane.ini")), 0);
    EXPECT_EQ(modeOf(folder.File("corvane.ini")), 0640u);
    EXPECT_EQ(folder.Read("corvane.ini"), "[Check]\nTimeCheck=30\n");
}

TEST(ProfileFileTest, ReadOnlyFileIsRefusedAndLeftAlone)
{
    TempFolder folder;
    folder.Write("corvane.ini", "[Check]\r\nTimeCheck=15\r\n");
    ::chmod(folder.File("corvane.ini").c_str(), 0444);
    EXPECT_NE(WriteProfileString("Check", "TimeCheck", "30", folder.File("corvane.ini")), 0);
    EXPECT_EQ(folder.Read("corvane.ini"), "[Check]\r\nTimeCheck=15\r\n");
}

TEST(ProfileFileTest, WritesThroughASymbolicLink)
{
    TempFolder folder;
    folder.Write("real.ini", "[Check]\r\nTimeCheck=15\r\n");
    std::filesystem::create_symlink(folder.File("real.ini"), folder.File("corvane.ini"));
    ASSERT_EQ(WriteProfileString("Check", "TimeCheck", "30", folder.File("corvane.ini")), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(folder.File("corvane.ini")));
    EXPECT_EQ(folder.Read("real.ini"), "[Check]\r\nTimeCheck=30\r\n");
}

TEST(ProfileFileTest, AFailedWriteLeavesTheOldFileWholeAndNoTemporaryBehind)
{
    TempFolder folder;
    const std::string old = "[Check]\r\nTimeCheck=15\r\n; " + std::string(4000, 'c') + "\r\n";
    folder.Write("corvane.ini", old);
    // A file-size limit makes the write fail half way, as a full disk would.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous {};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limit = previous;
    limit.rlim_cur = 100;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const int error = WriteProfileString("Check", "TimeCheck", "30", folder.File("corvane.ini"));
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_NE(error, 0);
    EXPECT_EQ(folder.Read("corvane.ini"), old);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(ProfileFileTest, SpecialFilesAreRefusedWithoutBlockingOrGrowing)
{
    TempFolder folder;
    ASSERT_EQ(::mkfifo(folder.File("fifo.ini").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", folder.File("zero.ini"));
    folder.MakeFolder("folder.ini");
    folder.Write("big.ini", std::string(FileReadLimit + 1, ';'));
    std::string content = "kept";
    EXPECT_EQ(ReadFileContent(folder.File("fifo.ini"), content), EINVAL);
    EXPECT_EQ(ReadFileContent(folder.File("zero.ini"), content), EINVAL);
    EXPECT_EQ(ReadFileContent(folder.File("folder.ini"), content), EISDIR);
    EXPECT_EQ(ReadFileContent(folder.File("big.ini"), content), EFBIG);
    folder.Write("limit.ini", std::string(FileReadLimit, ';'));
    EXPECT_EQ(ReadFileContent(folder.File("limit.ini"), content), 0);
    EXPECT_EQ(content.size(), FileReadLimit);

    // Reads fall back, writes fail, and the special file is left as it is.
    for (const char* name : {"fifo.ini", "zero.ini", "big.ini"}) {
        EXPECT_EQ(ReadProfileString("Check", "TimeCheck", "20", folder.File(name)), "20") << name;
        EXPECT_NE(WriteProfileString("Check", "TimeCheck", "30", folder.File(name)), 0) << name;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(folder.File("fifo.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.File("zero.ini")));
}

TEST(ProfileFileTest, StartUpSweepRemovesOnlyStaleTemporariesOfOurs)
{
    TempFolder folder;
    const auto age = [&](const std::string& name, int seconds) {
        const timespec times[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
        ::utimensat(AT_FDCWD, folder.File(name).c_str(), times, 0);
    };
    for (const char* name : {".corvane-Ab12Cd", ".corvane-zzzzzz", ".corvane-young1", ".corvane-held01",
                             ".corvane-toolong1", ".corvane-a.b_cd", "corvane.ini"}) {
        folder.Write(name, "x");
        age(name, 60);
    }
    age(".corvane-young1", 1);
    folder.MakeFolder(".corvane-folder");
    std::filesystem::create_symlink(folder.File("corvane.ini"), folder.File(".corvane-link01"));
    // A writer still holds its temporary.
    const int held = ::open(folder.File(".corvane-held01").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    EXPECT_EQ(RemoveStaleTemporaries(folder.Path()), 2);
    ::close(held);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left,
              (std::vector<std::string> {".corvane-a.b_cd", ".corvane-folder", ".corvane-held01", ".corvane-link01",
                                         ".corvane-toolong1", ".corvane-young1", "corvane.ini"}));
    EXPECT_EQ(RemoveStaleTemporaries(folder.File("missing")), 0);
}

// Root passes every permission check; with a file-system user id of its own a thread is held to them again.
class OrdinaryFileAccess
{
public:
    explicit OrdinaryFileAccess(const std::string& folder)
    {
        if (::geteuid() != 0)
            return;
        std::filesystem::recursive_directory_iterator files(folder);
        ::chown(folder.c_str(), Nobody, Nobody);
        for (const auto& entry : files)
            ::chown(entry.path().c_str(), Nobody, Nobody);
        ::setfsgid(Nobody);
        ::setfsuid(Nobody);
        m_switched = true;
    }
    ~OrdinaryFileAccess()
    {
        if (m_switched) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }

private:
    static constexpr uid_t Nobody = 65534;
    bool m_switched = false;
};

TEST(ProfileFileTest, ReadOnlyFolderTakesAnInPlaceWriteOnlyWhenAskedFor)
{
    TempFolder folder;
    const std::string path = folder.File("list.cvr");
    const std::string old = "a long first line that the new content is shorter than\r\n4\r\n";
    folder.Write("list.cvr", old);
    ::chmod(path.c_str(), 0644);
    folder.Write("locked.cvr", old);
    ::chmod(folder.File("locked.cvr").c_str(), 0444);
    int plain = -1, inPlace = -1, locked = -1, created = -1;
    {
        OrdinaryFileAccess ordinary(folder.Path());
        ::chmod(folder.Path().c_str(), 0555);
        plain = ReplaceFileContent(path, "new\r\n", 0644);
        inPlace = ReplaceFileContent(path, "host\r\n5\r\n", 0644, 07700, true);
        locked = ReplaceFileContent(folder.File("locked.cvr"), "x", 0644, 07777, true);
        created = ReplaceFileContent(folder.File("new.cvr"), "x", 0644, 07777, true);
        ::chmod(folder.Path().c_str(), 0755);
    }
    EXPECT_EQ(plain, EACCES) << "settings and placement keep the old file";
    EXPECT_EQ(inPlace, 0);
    EXPECT_EQ(folder.Read("list.cvr"), "host\r\n5\r\n");
    EXPECT_EQ(modeOf(path), 0600u) << "narrowed in place as well";
    // Real failures are still failures.
    EXPECT_EQ(locked, EACCES);
    EXPECT_EQ(folder.Read("locked.cvr"), old);
    EXPECT_EQ(created, EACCES);
    EXPECT_FALSE(folder.Exists("new.cvr"));
}

TEST(ProfileFileTest, MissingFolderFails)
{
    TempFolder folder;
    EXPECT_NE(WriteProfileString("Check", "TimeCheck", "30", folder.File("gone/corvane.ini")), 0);
}

} // namespace
