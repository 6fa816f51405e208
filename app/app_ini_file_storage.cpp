#include "app/app_ini_file_storage.h"

#include "platform/atomic_file.h"
#include "platform/int_conversion.h"
#include "platform/text_lines.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string_view>

namespace {

constexpr std::string_view ByteOrderMark = "\xef\xbb\xbf";

bool sameName(std::string_view a, std::string_view b)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

TAppIniFileStorage::TAppIniFileStorage(std::string fileName)
    : m_fileName(std::move(fileName))
{
    Load();
}

TAppIniFileStorage::~TAppIniFileStorage()
{
    Flush();
}

void TAppIniFileStorage::Load()
{
    std::string content;
    const int error = m_fileName.empty() ? ENOENT : ReadFileContent(m_fileName, content);
    m_fileUnreadable = error != 0 && error != ENOENT && error != ENOTDIR;
    parse(error == 0 ? content : std::string());
}

void TAppIniFileStorage::parse(const std::string& content)
{
    m_leadingLines.clear();
    m_sections.clear();
    m_byteOrderMark = false;
    bool firstText = true;
    // Every line break convention splits lines; the file is written back with CR LF only.
    for (std::string_view raw : SplitLines(content)) {
        std::string_view text = trimmed(raw);
        // A UTF-8 byte-order mark would hide the first section; it is kept for the file, outside the lines.
        // Empty lines before it do not count, since they are not kept either.
        if (firstText && text.starts_with(ByteOrderMark)) {
            m_byteOrderMark = true;
            raw.remove_prefix(static_cast<size_t>(text.data() - raw.data()) + ByteOrderMark.size());
            text = trimmed(raw);
        }
        if (text.empty())
            continue; // empty lines are regenerated, one after each section
        firstText = false;
        if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
            m_sections.push_back({std::string(raw), std::string(trimmed(text.substr(1, text.size() - 2))), {}});
            continue;
        }
        if (m_sections.empty()) {
            m_leadingLines.emplace_back(raw);
            continue;
        }
        Line line {std::string(raw), {}, {}};
        const auto equals = text.find('=');
        if (equals != std::string_view::npos && text.front() != ';' && text.front() != '#') {
            line.key = trimmed(text.substr(0, equals));
            line.value = trimmed(text.substr(equals + 1));
        }
        m_sections.back().lines.push_back(std::move(line));
    }
}

void TAppIniFileStorage::Flush()
{
    if (m_fileUnreadable || m_fileName.empty())
        return;
    const std::filesystem::path folder = std::filesystem::path(m_fileName).parent_path();
    std::error_code ignored;
    if (!folder.empty())
        std::filesystem::create_directories(folder, ignored);
    if (IsReadOnlyFile(m_fileName))
        return;
    // The result is dropped on purpose: a placement that could not be kept is not worth a message at exit,
    // and the replacement is atomic, so the old file is still whole.
    ReplaceFileContent(m_fileName, Text(), 0644);
}

TAppIniFileStorage::Section* TAppIniFileStorage::findSection(const std::string& name)
{
    // With a section twice in the file, the first one is the one read and written.
    const auto found = std::find_if(m_sections.begin(), m_sections.end(),
                                    [&](const Section& section) { return sameName(section.name, name); });
    return found == m_sections.end() ? nullptr : &*found;
}

TAppIniFileStorage::Line* TAppIniFileStorage::findLine(const std::string& section, const std::string& key)
{
    Section* found = findSection(section);
    if (!found)
        return nullptr;
    const auto line = std::find_if(found->lines.begin(), found->lines.end(),
                                   [&](const Line& each) { return !each.key.empty() && sameName(each.key, key); });
    return line == found->lines.end() ? nullptr : &*line;
}

const TAppIniFileStorage::Line* TAppIniFileStorage::findLine(const std::string& section, const std::string& key) const
{
    return const_cast<TAppIniFileStorage*>(this)->findLine(section, key);
}

std::string TAppIniFileStorage::ReadString(const std::string& section, const std::string& key,
                                           const std::string& fallback) const
{
    const Line* line = findLine(section, key);
    return line ? line->value : fallback;
}

void TAppIniFileStorage::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    std::string clean = value;
    // A line break in a value would start a line of its own when the file is read again.
    std::replace_if(
        clean.begin(), clean.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');

    Section* target = findSection(section);
    if (!target) {
        m_sections.push_back({"[" + section + "]", section, {}});
        target = &m_sections.back();
    }
    if (Line* line = findLine(section, key)) {
        line->value = clean;
        line->text = line->key + "=" + clean; // the file's spelling of the name stays
        return;
    }
    target->lines.push_back({key + "=" + clean, key, clean});
}

int32_t TAppIniFileStorage::ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const
{
    const Line* line = findLine(section, key);
    return line ? StrToInt(line->value) : fallback;
}

void TAppIniFileStorage::WriteInteger(const std::string& section, const std::string& key, int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

bool TAppIniFileStorage::ReadBool(const std::string& section, const std::string& key, bool fallback) const
{
    const Line* line = findLine(section, key);
    if (!line)
        return fallback;
    for (const char* text : {"TRUE", "YES", "Y"}) {
        if (sameName(line->value, text))
            return true;
    }
    for (const char* text : {"FALSE", "NO", "N"}) {
        if (sameName(line->value, text))
            return false;
    }
    int32_t number = 0;
    return TryStrToInt(line->value, number) ? number != 0 : fallback;
}

bool TAppIniFileStorage::ValueExists(const std::string& section, const std::string& key) const
{
    return findLine(section, key) != nullptr;
}

std::string TAppIniFileStorage::Text() const
{
    std::string text(m_byteOrderMark ? ByteOrderMark : std::string_view());
    for (const std::string& line : m_leadingLines)
        text += line + "\r\n";
    for (const Section& section : m_sections) {
        text += section.header + "\r\n";
        for (const Line& line : section.lines)
            text += line.text + "\r\n";
        text += "\r\n";
    }
    return text;
}
