#include "app/file_listing.h"
#include "app/resource_store.h"
#include "app/text_buffer.h"
#include "platform/exception.h"
#include "platform/file_errors.h"
#include "platform/profile_file.h"
#include "platform/program_folder.h"
#include "tests/support/temp_folder.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<std::string> linesOf(const std::string& text, size_t maxLines = SIZE_MAX)
{
    TTextBuffer buffer;
    buffer.SetText(text, maxLines);
    std::vector<std::string> lines;
    for (int i = 0; i < buffer.Count(); ++i)
        lines.push_back(buffer.Line(i));
    return lines;
}

using Lines = std::vector<std::string>;

TEST(TextBufferTest, EveryKindOfLineBreakEndsALine)
{
    EXPECT_EQ(linesOf("a\r\nb\r\n"), (Lines {"a", "b"}));
    EXPECT_EQ(linesOf("a\nb\n"), (Lines {"a", "b"}));
    EXPECT_EQ(linesOf("a\rb\r"), (Lines {"a", "b"}));
    EXPECT_EQ(linesOf("a\n\rb"), (Lines {"a", "b"}));
    EXPECT_EQ(linesOf("a\r\n\r\nb"), (Lines {"a", "", "b"}));
    EXPECT_EQ(linesOf("a\n\nb"), (Lines {"a", "", "b"}));
    EXPECT_EQ(linesOf("no line end"), (Lines {"no line end"}));
    EXPECT_EQ(linesOf(""), Lines {});
    EXPECT_EQ(linesOf("\r\n"), (Lines {""}));
}

TEST(TextBufferTest, KeepsBytesAsTheyAreAndCutsLongLines)
{
    const std::string binary("\0\x01\xfe\xff", 4);
    EXPECT_EQ(linesOf(binary + "\r\n4\r\n"), (Lines {binary, "4"}));
    const auto lines = linesOf(std::string(1 << 20, 'x') + "\r\n7\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string(TTextBuffer::MaxLineLength, 'x'));
    EXPECT_EQ(lines[1], "7");
    EXPECT_EQ(linesOf("1\r\n2\r\n3\r\n", 2), (Lines {"1", "2"}));
}

TEST(TextBufferTest, FileWithoutLineBreaksIsReadOnlyToTheLimit)
{
    TempFolder folder;
    // 8 GB of nothing on disk: read to its end it would take the better part of a minute.
    const std::string sparse = folder.File("sparse.cvr");
    folder.Write("sparse.cvr", "");
    ASSERT_EQ(::truncate(sparse.c_str(), off_t(8) << 30), 0);
    TTextBuffer buffer;
    const auto started = std::chrono::steady_clock::now();
    buffer.LoadFromFile(sparse, 2);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    EXPECT_EQ(buffer.Count(), 1);
    EXPECT_EQ(buffer.Line(0), std::string(TTextBuffer::MaxLineLength, '\0'));
    EXPECT_EQ(buffer.Line(1), "");

    // A long first line within the limit still gives its second line.
    folder.Write("long.cvr", std::string(TTextBuffer::ReadLimit / 2, 'x') + "\r\n3\r\n");
    buffer.LoadFromFile(folder.File("long.cvr"), 2);
    EXPECT_EQ(buffer.Line(1), "3");
}

TEST(TextBufferTest, MissingLinesReadAsEmptyText)
{
    TTextBuffer buffer;
    buffer.SetText("only one line");
    EXPECT_EQ(buffer.Line(1), "");
    EXPECT_EQ(buffer.Line(-1), "");
}

class ResourceFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetProgramFolderForTesting(folder.Path());
        folder.MakeFolder("list");
    }
    void TearDown() override { SetProgramFolderForTesting(std::string()); }

    TempFolder folder;
};

TEST_F(ResourceFolderTest, WritesExactlyTargetCountAndTwoLineBreaks)
{
    TTextBuffer buffer;
    WriteResourceFile(buffer, "router.cvr", "10.0.0.1", 4);
    EXPECT_EQ(folder.Read("list/router.cvr"), "10.0.0.1\r\n4\r\n");
    // The name is taken as typed: no extension is added, an existing file is replaced.
    WriteResourceFile(buffer, "noext", "host", 40);
    EXPECT_EQ(folder.Read("list/noext"), "host\r\n40\r\n");
    WriteResourceFile(buffer, "router.cvr", " spaced target ", 1);
    EXPECT_EQ(folder.Read("list/router.cvr"), " spaced target \r\n1\r\n");
}

TEST_F(ResourceFolderTest, ReadsTargetAndCountLines)
{
    folder.Write("list/a.cvr", "example.org\n 12\nignored\n");
    TTextBuffer buffer;
    LoadResourceFile(buffer, "a.cvr");
    EXPECT_EQ(buffer.Line(0), "example.org");
    EXPECT_EQ(buffer.Line(1), " 12");
    folder.Write("list/one.cvr", "host only");
    LoadResourceFile(buffer, "one.cvr");
    EXPECT_EQ(buffer.Line(0), "host only");
    EXPECT_EQ(buffer.Line(1), "");
}

TEST_F(ResourceFolderTest, FileErrorsNameTheFullPath)
{
    TTextBuffer buffer;
    try {
        LoadResourceFile(buffer, "gone.cvr");
        FAIL();
    } catch (const EFileOpenError& error) {
        EXPECT_EQ(error.Message(),
                  "Cannot open file \"" + folder.Path() + "list/gone.cvr\". No such file or directory");
    }
    folder.MakeFolder("list/dir.cvr");
    EXPECT_THROW(LoadResourceFile(buffer, "dir.cvr"), EFileOpenError);
    ASSERT_EQ(::mkfifo(folder.File("list/fifo.cvr").c_str(), 0600), 0);
    EXPECT_THROW(LoadResourceFile(buffer, "fifo.cvr"), EFileOpenError); // and does not hang
    try {
        WriteResourceFile(buffer, "missing/sub.cvr", "h", 1);
        FAIL();
    } catch (const EFileCreateError& error) {
        EXPECT_EQ(error.Message(),
                  "Cannot create file \"" + folder.Path() + "list/missing/sub.cvr\". No such file or directory");
    }
}

TEST_F(ResourceFolderTest, DeleteIsSilentAboutFailures)
{
    folder.Write("list/a.cvr", "h\r\n1\r\n");
    DeleteResourceFile("a.cvr");
    EXPECT_FALSE(folder.Exists("list/a.cvr"));
    EXPECT_NO_THROW(DeleteResourceFile("a.cvr"));
}

TEST_F(ResourceFolderTest, ListingTakesMatchingPlainFilesSortedWithoutCase)
{
    for (const char* name : {"b.cvr", "A.cvr", "c.CVR", ".h.cvr", "notes.txt", "noext", "a.cvrx", "ro.cvr"})
        folder.Write(std::string("list/") + name, "x\r\n1\r\n");
    ::chmod(folder.File("list/ro.cvr").c_str(), 0444);
    folder.MakeFolder("list/d.cvr");
    std::filesystem::create_symlink(folder.File("list/b.cvr"), folder.File("list/link.cvr"));
    std::filesystem::create_symlink(folder.File("list/d.cvr"), folder.File("list/dirlink.cvr"));
    std::filesystem::create_symlink(folder.File("list/nowhere"), folder.File("list/dangling.cvr"));

    TFileListing listing;
    listing.SetDirectory(ResourceFolder());
    listing.Update();
    EXPECT_EQ(listing.Items(), (Lines {"A.cvr", "b.cvr", "c.CVR", "link.cvr", "ro.cvr"}));
    EXPECT_EQ(listing.Item(0), "A.cvr");
    EXPECT_THROW(listing.Item(-1), EListIndexError);
    EXPECT_THROW(listing.Item(5), EListIndexError);
}

TEST_F(ResourceFolderTest, ListingOrderIsTotalAcrossCase)
{
    EXPECT_TRUE(ListingLess("a.cvr", "B.cvr"));
    EXPECT_TRUE(ListingLess("B.cvr", "c.cvr"));
    EXPECT_TRUE(ListingLess("A.cvr", "a.cvr") != ListingLess("a.cvr", "A.cvr"));
    EXPECT_TRUE(ListingLess("ab.cvr", "abc.cvr"));
    EXPECT_TRUE(MatchesMask("X.CvR", "*.cvr"));
    EXPECT_FALSE(MatchesMask("x.cvr.bak", "*.cvr"));
}

TEST_F(ResourceFolderTest, MissingFolderKeepsThePreviousListing)
{
    folder.Write("list/a.cvr", "x\r\n1\r\n");
    TFileListing listing;
    listing.SetDirectory(ResourceFolder());
    listing.Update();
    std::filesystem::remove_all(folder.File("list"));
    try {
        listing.SetDirectory(ResourceFolder());
        FAIL();
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.Message(), "File not found");
    }
    EXPECT_EQ(listing.Items(), Lines {"a.cvr"});
    folder.Write("list", "a plain file where the folder should be");
    EXPECT_THROW(listing.SetDirectory(ResourceFolder()), EInOutError);
}

TEST_F(ResourceFolderTest, UnreadableFolderIsAccessDenied)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every folder; run as an ordinary user to check this";
    ::chmod(folder.File("list").c_str(), 0);
    TFileListing listing;
    listing.SetDirectory(ResourceFolder());
    try {
        listing.Update();
        FAIL();
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.Message(), "File access denied");
    }
}

} // namespace

// What a user of a folder that root runs the program from could plant, beyond the links of the end-to-end case:
// linked folders, and a settings file whose link the first write replaces.
TEST_F(ResourceFolderTest, AsRootLinkedFoldersAreRefusedAndASettingsWriteReplacesItsLink)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    TempFolder elsewhere;
    elsewhere.MakeFolder("etc");
    elsewhere.Write("etc/x.cvr", "kept\r\n1\r\n");
    elsewhere.Write("ini", "[Check]\r\nTimeCheck=1\r\n");
    std::filesystem::create_symlink(elsewhere.File("etc"), folder.File("list/sub"));
    std::filesystem::create_symlink(elsewhere.File("ini"), folder.File("corvane.ini"));

    TTextBuffer buffer;
    EXPECT_THROW(WriteResourceFile(buffer, "sub/x.cvr", "host", 4), EFileCreateError);
    EXPECT_THROW(LoadResourceFile(buffer, "sub/x.cvr"), EFileOpenError);
    DeleteResourceFile("sub/x.cvr");
    EXPECT_EQ(elsewhere.Read("etc/x.cvr"), "kept\r\n1\r\n");

    EXPECT_EQ(ReadProfileString("Check", "TimeCheck", "20", folder.File("corvane.ini")), "20");
    EXPECT_EQ(WriteProfileString("Check", "TimeCheck", "30", folder.File("corvane.ini")), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(folder.File("corvane.ini")));
    EXPECT_EQ(folder.Read("corvane.ini"), "[Check]\r\nTimeCheck=30\r\n");
    EXPECT_EQ(elsewhere.Read("ini"), "[Check]\r\nTimeCheck=1\r\n");

    std::filesystem::remove_all(folder.File("list"));
    std::filesystem::create_symlink(elsewhere.File("etc"), folder.File("list"));
    TFileListing listing;
    EXPECT_THROW(listing.SetDirectory(ResourceFolder()), EInOutError);
}
