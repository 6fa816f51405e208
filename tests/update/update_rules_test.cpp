// The update check's pure rules: page reading, version comparison, addresses, file names, the version block.
#include "platform/version_block.h"
#include "tests/support/temp_folder.h"
#include "update/info_page.h"
#include "update/version_compare.h"
#include "update/web_update.h"

#include <cstring>
#include <elf.h>
#include <gtest/gtest.h>

namespace {

TUpdateInfo parse(const std::vector<std::string>& lines)
{
    std::string page;
    for (const std::string& line : lines)
        page += line + "\r\n";
    return ParseInfoPage(page, TTagInfo());
}

TEST(InfoPageTest, ReadsTagsByTheirExactKeywordsAndQuotes)
{
    EXPECT_EQ(parse({R"(<META NAME="wuVersion" CONTENT="0.6.35.0">)"}).Version, "0.6.35.0");
    // The name keyword only in capitals; the content keyword in any case; attributes in any order.
    EXPECT_EQ(parse({R"(<meta name="wuVersion" content="1.0">)"}).Version, "");
    EXPECT_EQ(parse({R"(<META NAME="wuVersion" content="1.0">)"}).Version, "1.0");
    EXPECT_EQ(parse({R"(<META NAME="wuProduct" SCHEME="x" CONTENT="Corvane">)"}).ProductName, "Corvane");
    // Names compare with regard to case; the value keeps its case.
    EXPECT_EQ(parse({R"(<META NAME="WUVERSION" CONTENT="1.0">)"}).Version, "");
    EXPECT_EQ(parse({R"(<META NAME="wuAuthor" CONTENT="Ada Lovelace">)"}).Author, "Ada Lovelace");
    // A value without quotes and no further quote on its line reads as empty.
    EXPECT_EQ(parse({R"(<META NAME="wuVersion" CONTENT=1.0>)"}).Version, "");
    // 254 characters fit; 255 or more before the closing quote read as empty, for names and values alike.
    const std::string v254(254, '7');
    const std::string v255(255, '7');
    EXPECT_EQ(parse({"<META NAME=\"wuVersion\" CONTENT=\"" + v254 + "\">"}).Version, v254);
    EXPECT_EQ(parse({"<META NAME=\"wuVersion\" CONTENT=\"" + v255 + "\">"}).Version, "");
    EXPECT_EQ(parse({"<META NAME=\"" + v255 + "\" CONTENT=\"x\">"}).Version, "");
    // Only the first META NAME and the first CONTENT= of a line count; a later line with the same name wins.
    EXPECT_EQ(parse({R"(<META NAME="wuEmail" CONTENT="a@b"><META NAME="wuVersion" CONTENT="2">)"}).Version, "");
    EXPECT_EQ(parse({R"(<META NAME="wuVersion" CONTENT="1">)", R"(<META NAME="wuVersion" CONTENT="2">)"}).Version, "2");
    // A line without CONTENT= gives an empty value; a keyword at the very end of a line reads nothing.
    EXPECT_EQ(parse({R"(<META NAME="wuVersion">)"}).Version, "");
    EXPECT_EQ(parse({"META NAME"}).Version, "");

    const TUpdateInfo all = parse({
        R"(<META NAME="wuProduct" CONTENT="Corvane">)",
        R"(<META NAME="wuClientSideName" CONTENT="corvane-setup.run">)",
        R"(<META NAME="wuDownload" CONTENT="http://h/f">)",
        R"(<META NAME="wuRedirection" CONTENT="h/next.html">)",
        R"(<META NAME="wuRunParameters" CONTENT="--quiet">)",
        R"(<META NAME="wuEmail" CONTENT="info@h">)",
    });
    EXPECT_EQ(all.ProductName, "Corvane");
    EXPECT_EQ(all.ClientFileName, "corvane-setup.run");
    EXPECT_EQ(all.Download, "http://h/f");
    EXPECT_EQ(all.Redirection, "h/next.html");
    EXPECT_EQ(all.RunParameters, "--quiet");
    EXPECT_EQ(all.Email, "info@h");
}

TEST(InfoPageTest, LinesEndAtCrLfOrBoth)
{
    const std::vector<std::string> expected {"a", "", "b", "c"};
    EXPECT_EQ(SplitPageLines("a\r\n\r\nb\r\nc\r\n"), expected);
    EXPECT_EQ(SplitPageLines("a\n\nb\nc\n"), expected);
    EXPECT_EQ(SplitPageLines("a\r\rb\rc"), expected);
    EXPECT_EQ(SplitPageLines(""), std::vector<std::string>());
}

TEST(InfoPageTest, ClientFileNamesStayInTheirFolder)
{
    EXPECT_EQ(SafeClientFileName("corvane-setup.run"), "corvane-setup.run");
    EXPECT_EQ(SafeClientFileName("../../.bashrc"), ".bashrc");
    EXPECT_EQ(SafeClientFileName("/etc/passwd"), "passwd");
    EXPECT_EQ(SafeClientFileName("C:\\Windows\\evil.exe"), "evil.exe");
    for (const std::string& bad :
         {std::string(), std::string(".."), std::string("."), std::string("dir/"), std::string("a\0b", 3)})
        EXPECT_EQ(SafeClientFileName(bad), "") << bad;
}

TEST(VersionCompareTest, StandardFormatComparesAsManyPartsAsTheInstalledVersionHas)
{
    struct Case
    {
        const char* installed;
        const char* published;
        bool newer;
    };
    for (const Case& c : {
             Case {"0.6.34.60", "0.6.34.60", false},
             Case {"0.6.34.60", "0.6.35.0", true},
             Case {"0.6.34.60", "0.7", true},
             Case {"0.6.34.60", "1", true},
             Case {"0.6.34.60", "0.6.34", false},
             Case {"0.6.34.60", "0.6.34.61", true},
             Case {"0.6.34.60", "0.6.33.99", false},
             Case {"2.0.0.0", "2", false},
             Case {"2.0.0.0", "2.0.0.0.1", false},
             Case {"1.0", "1.0.1", false},
             Case {"1.0", "1.x", false},
             Case {"1.x", "1.1", true},
             Case {"1.0", "-1.5", false},
             Case {"0.0.0.0", "0.0.0.1", true},
             Case {"", "1", true},
             Case {"1", "", false},
             Case {"1", "99999999999999999999", false},
         }) {
        EXPECT_EQ(PublishedVersionIsNewer(c.installed, c.published, vfStandard), c.newer)
            << c.installed << " vs " << c.published;
    }
}

TEST(VersionCompareTest, StringAndNumberFormats)
{
    EXPECT_FALSE(PublishedVersionIsNewer("9", "10", vfString));
    EXPECT_TRUE(PublishedVersionIsNewer("1.0a", "1.0b", vfString));
    EXPECT_FALSE(PublishedVersionIsNewer("b", "B", vfString));
    EXPECT_TRUE(PublishedVersionIsNewer("9", "10", vfNumber));
    EXPECT_TRUE(PublishedVersionIsNewer("1.5", "1.25e1", vfNumber));
    EXPECT_FALSE(PublishedVersionIsNewer("1.5", "1.5", vfNumber));
    EXPECT_FALSE(PublishedVersionIsNewer("1.0", "2.0.1", vfNumber));
    EXPECT_FALSE(PublishedVersionIsNewer("x", "2", vfNumber));
    EXPECT_FALSE(PublishedVersionIsNewer("1", "inf", vfNumber));
    EXPECT_FALSE(PublishedVersionIsNewer("1", "2", 7));
}

TEST(WebUpdateAddressTest, SchemeIsAddedAndAddressesSplitAtTheFirstSlash)
{
    TWebUpdate update;
    EXPECT_EQ(update.ProductInfo.URL(), "http://");
    update.ProductInfo.SetURL("example/page.html");
    EXPECT_EQ(update.ProductInfo.URL(), "http://example/page.html");
    update.ProductInfo.SetURL("HTTP://example/page.html");
    EXPECT_EQ(update.ProductInfo.URL(), "HTTP://example/page.html");

    std::string host;
    std::string path;
    update.SplitUrl("HTTP://example/path/page.html?a=1", host, path);
    EXPECT_EQ(host, "example");
    EXPECT_EQ(path, "/path/page.html?a=1");
    update.SplitUrl("example", host, path);
    EXPECT_EQ(host, "");
    EXPECT_EQ(path, "example");
    update.SplitUrl("http://example:8080/x", host, path);
    EXPECT_EQ(host, "example:8080");
}

// A minimal ELF file whose one section is a note carrying `desc` under `name`.
std::string elfWithNote(const char* name, const std::vector<uint32_t>& desc)
{
    std::string note;
    auto put = [&note](uint32_t v) { note.append(reinterpret_cast<const char*>(&v), 4); };
    const uint32_t nameSize = static_cast<uint32_t>(std::strlen(name) + 1);
    put(nameSize);
    put(static_cast<uint32_t>(desc.size() * 4));
    put(1);
    note.append(name, nameSize);
    note.resize((note.size() + 3) & ~size_t(3), '\0');
    for (uint32_t v : desc)
        put(v);
    Elf64_Ehdr header {};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_shoff = sizeof header + note.size();
    header.e_shentsize = sizeof(Elf64_Shdr);
    header.e_shnum = 2;
    Elf64_Shdr sections[2] {};
    sections[1].sh_type = SHT_NOTE;
    sections[1].sh_offset = sizeof header;
    sections[1].sh_size = note.size();
    return std::string(reinterpret_cast<const char*>(&header), sizeof header) + note
        + std::string(reinterpret_cast<const char*>(sections), sizeof sections);
}

TEST(VersionBlockTest, ReadsTheBlockFromTheExecutableFile)
{
    EXPECT_EQ(ProgramVersionText(), "0.6.34.60");

    TempFolder folder;
    folder.Write("a", elfWithNote("Corvane", {0xFEEF04BD, 0x00010002, 0x00030004, 0, 0}));
    folder.Write("b", elfWithNote("Corvane", {0xFEEF04BD, 0x000A0000, 0x000000FF, 0, 0}));
    folder.Write("other-note", elfWithNote("GNU", {0xFEEF04BD, 0x00010002, 0x00030004, 0, 0}));
    folder.Write("bad-signature", elfWithNote("Corvane", {0, 0x00010002, 0x00030004, 0, 0}));
    folder.Write("not-elf", "#!/bin/sh\n");
    ASSERT_TRUE(ReadFixedFileVersion(folder.File("a")));
    EXPECT_EQ(FileVersionText(*ReadFixedFileVersion(folder.File("a"))), "1.2.3.4");
    EXPECT_EQ(FileVersionText(*ReadFixedFileVersion(folder.File("b"))), "10.0.0.255");
    for (const char* none : {"other-note", "bad-signature", "not-elf", "missing"})
        EXPECT_FALSE(ReadFixedFileVersion(folder.File(none))) << none;
}

} // namespace
