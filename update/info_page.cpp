#include "update/info_page.h"

#include "platform/text_lines.h"

#include <algorithm>
#include <cctype>

std::vector<std::string> SplitPageLines(std::string_view text)
{
    const std::vector<std::string_view> lines = SplitLines(text);
    return {lines.begin(), lines.end()};
}

namespace {

// The text from `start` up to the next double quote, looked for within 255 characters; "" without one.
std::string quoted(std::string_view line, size_t start)
{
    if (start >= line.size())
        return std::string();
    const std::string_view window = line.substr(start, 255);
    const size_t quote = window.find('"');
    return quote == std::string_view::npos ? std::string() : std::string(window.substr(0, quote));
}

size_t findIgnoringCase(std::string_view line, std::string_view what)
{
    const auto it = std::search(line.begin(), line.end(), what.begin(), what.end(), [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
    });
    return it == line.end() ? std::string::npos : static_cast<size_t>(it - line.begin());
}

} // namespace

TUpdateInfo ParseInfoPage(std::string_view page, const TTagInfo& tags)
{
    TUpdateInfo info;
    const std::pair<const std::string*, std::string*> fields[] = {
        {&tags.ProductName, &info.ProductName},
        {&tags.ClientFileName, &info.ClientFileName},
        {&tags.Version, &info.Version},
        {&tags.Author, &info.Author},
        {&tags.Email, &info.Email},
        {&tags.Download, &info.Download},
        {&tags.Redirection, &info.Redirection},
        {&tags.RunParameters, &info.RunParameters},
    };
    ForEachLine(page, [&fields](std::string_view line) {
        const size_t keyword = line.find("META NAME");
        if (keyword == std::string_view::npos)
            return;
        // The name begins after `META NAME="`; the value after `CONTENT="`.
        const std::string name = quoted(line, keyword + 11);
        const size_t content = findIgnoringCase(line, "CONTENT=");
        for (const auto& [tag, field] : fields) {
            if (name == *tag)
                *field = content == std::string_view::npos ? std::string() : quoted(line, content + 9);
        }
    });
    return info;
}

std::string SafeClientFileName(std::string_view name)
{
    // Pages are written on any system, so both separators end a folder name.
    const size_t slash = name.find_last_of("/\\");
    const std::string_view last = slash == std::string_view::npos ? name : name.substr(slash + 1);
    if (last.empty() || last == "." || last == ".." || last.find('\0') != std::string_view::npos)
        return std::string();
    return std::string(last);
}
