#include "platform/profile_file.h"

#include "platform/atomic_file.h"
#include "platform/folder_entry.h"

#include <cerrno>
#include <string_view>
#include <vector>

namespace {

struct Line
{
    size_t begin; // offset of the line's text
    size_t end; // offset just past the text, before the line break
    size_t next; // offset of the following line
};

std::vector<Line> splitLines(const std::string& content)
{
    std::vector<Line> lines;
    // A UTF-8 byte-order mark is no part of the first line; it stays in the file before it.
    size_t pos = content.starts_with("\xef\xbb\xbf") ? 3 : 0;
    while (pos < content.size()) {
        const size_t nl = content.find('\n', pos);
        const size_t next = nl == std::string::npos ? content.size() : nl + 1;
        size_t end = nl == std::string::npos ? content.size() : nl;
        if (end > pos && content[end - 1] == '\r')
            --end;
        lines.push_back({pos, end, next});
        pos = next;
    }
    return lines;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// The section name of a "[name]" line, or nothing.
std::optional<std::string_view> sectionName(std::string_view text)
{
    text = trim(text);
    if (text.empty() || text.front() != '[')
        return std::nullopt;
    text.remove_prefix(1);
    const size_t close = text.find(']');
    return trim(close == std::string_view::npos ? text : text.substr(0, close));
}

struct Entry
{
    std::string_view key;
    std::string_view value;
};

std::optional<Entry> entryOf(std::string_view text)
{
    const std::string_view t = trim(text);
    if (t.empty() || t.front() == ';' || t.front() == '#')
        return std::nullopt;
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return Entry {trim(t.substr(0, eq)), trim(t.substr(eq + 1))};
}

// Where a key lives: the index of its line, or of the last non-blank line of its section.
struct Location
{
    std::optional<size_t> keyLine;
    std::optional<size_t> sectionEnd;
};

Location locate(const std::string& content, const std::vector<Line>& lines, const std::string& section,
                const std::string& key)
{
    Location where;
    bool inSection = false;
    bool firstSection = true;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view text(content.data() + lines[i].begin, lines[i].end - lines[i].begin);
        if (const auto name = sectionName(text)) {
            if (inSection)
                firstSection = false;
            inSection = sameName(*name, section);
            if (inSection && firstSection)
                where.sectionEnd = i;
            continue;
        }
        if (!inSection)
            continue;
        if (const auto entry = entryOf(text); entry && sameName(entry->key, key)) {
            where.keyLine = i;
            return where;
        }
        if (firstSection && !trim(text).empty())
            where.sectionEnd = i;
    }
    return where;
}

std::string lineBreakOf(const std::string& content)
{
    const size_t nl = content.find('\n');
    return nl != std::string::npos && nl > 0 && content[nl - 1] != '\r' ? "\n" : "\r\n";
}

std::string asStored(std::string value)
{
    for (char& c : value)
        if (c == '\r' || c == '\n')
            c = ' ';
    // The reader drops blanks around a value and then one pair of quotes: quoted, such a value survives.
    const bool quoted
        = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    if (!value.empty() && (isBlank(value.front()) || isBlank(value.back()) || quoted))
        return '"' + value + '"';
    return value;
}

} // namespace

std::optional<std::string> ProfileGetValue(const std::string& content, const std::string& section,
                                           const std::string& key)
{
    const auto lines = splitLines(content);
    const Location where = locate(content, lines, section, key);
    if (!where.keyLine)
        return std::nullopt;
    const Line& line = lines[*where.keyLine];
    std::string_view value = entryOf(std::string_view(content.data() + line.begin, line.end - line.begin))->value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, ProfileValueLimit));
}

std::string ProfileSetValue(const std::string& content, const std::string& section, const std::string& key,
                            const std::string& value)
{
    const auto lines = splitLines(content);
    const Location where = locate(content, lines, section, key);
    const std::string eol = lineBreakOf(content);
    const std::string clean = asStored(value);

    if (where.keyLine) {
        const Line& line = lines[*where.keyLine];
        const std::string_view text(content.data() + line.begin, line.end - line.begin);
        const std::string_view keyText = entryOf(text)->key;
        const size_t indent = static_cast<size_t>(keyText.data() - text.data());
        std::string result = content.substr(0, line.begin + indent);
        result.append(keyText).append("=").append(clean);
        result.append(content, line.end, std::string::npos);
        return result;
    }
    if (where.sectionEnd) {
        const Line& after = lines[*where.sectionEnd];
        std::string result = content.substr(0, after.next);
        if (after.next == content.size() && !content.ends_with('\n')) // the file's last line has no line break
            result += eol;
        result.append(key).append("=").append(clean).append(eol);
        result.append(content, after.next, std::string::npos);
        return result;
    }
    std::string result = content;
    if (!result.empty() && result.back() != '\n')
        result += eol;
    result.append("[").append(section).append("]").append(eol);
    result.append(key).append("=").append(clean).append(eol);
    return result;
}

std::string ReadProfileString(const std::string& section, const std::string& key, const std::string& fallback,
                              const std::string& path)
{
    std::string content;
    if (ReadFileContent(path, content) != 0)
        return fallback.substr(0, ProfileValueLimit);
    return ProfileGetValue(content, section, key).value_or(fallback.substr(0, ProfileValueLimit));
}

int WriteProfileString(const std::string& section, const std::string& key, const std::string& value,
                       const std::string& path, bool privateValue)
{
    std::string content;
    // A link refused as root is replaced like a missing file: its target was never ours to see.
    if (const int error = ReadFileContent(path, content);
        error && error != ENOENT && !(error == ELOOP && TFolderEntry::RefusesLinksAt(path)))
        return error;
    // The settings may hold a mail password: a file we create is for its owner's eyes only, and so is one
    // that is given a password.
    return ReplaceFileContent(path, ProfileSetValue(content, section, key, value), 0600, privateValue ? 07700 : 07777);
}
