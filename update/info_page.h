// The update information page: its lines, the META tags the check looks for and how their values are read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The names of the META tags to look for.
struct TTagInfo
{
    std::string Author = "wuAuthor";
    std::string Email = "wuEmail";
    std::string ClientFileName = "wuClientSideName";
    std::string Download = "wuDownload";
    std::string ProductName = "wuProduct";
    std::string Redirection = "wuRedirection";
    std::string RunParameters = "wuRunParameters";
    std::string Version = "wuVersion";
};

// The values read from a page: field X holds the CONTENT of the tag named TTagInfo::X.
struct TUpdateInfo
{
    std::string Author;
    std::string Email;
    std::string ClientFileName;
    std::string Download;
    std::string ProductName;
    std::string Redirection;
    std::string RunParameters;
    std::string Version;
};

// Lines end at CR, LF or CR LF; a final terminator does not start another line.
std::vector<std::string> SplitPageLines(std::string_view text);

// Reads every line of the page into a fresh TUpdateInfo: the first "META NAME" of a line names the tag
// (exact case), the first "CONTENT=" (any case) gives its value, each quoted and at most 254 characters long.
TUpdateInfo ParseInfoPage(std::string_view page, const TTagInfo& tags);

// The last path component of a file name from a page, or "" when there is none that stays in its folder.
std::string SafeClientFileName(std::string_view name);
