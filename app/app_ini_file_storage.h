// corvane.inf held whole in memory: read once when created, written back once, atomically, when destroyed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// INI text with CR LF line ends, each section followed by one empty line. Section and key names match
// without regard to letter case; keys keep the order in which they were first written; lines this program
// does not know (other sections, other keys, comments) are written back as they were read.
class TAppIniFileStorage final
{
public:
    // Loads `fileName` at once (production: ProgramFolder() + "corvane.inf"); with an empty name the
    // content lives in memory only.
    explicit TAppIniFileStorage(std::string fileName);
    // Flushes.
    ~TAppIniFileStorage();
    TAppIniFileStorage(const TAppIniFileStorage&) = delete;
    TAppIniFileStorage& operator=(const TAppIniFileStorage&) = delete;

    const std::string& FileName() const { return m_fileName; }

    // Replaces the content with the file's; a missing or unreadable file gives empty content.
    void Load();
    // Replaces the content with `content`, read as Load reads a file.
    void SetText(const std::string& content) { parse(content); }
    // Creates the file's folder if missing and replaces the file with Text(). Skipped for a read-only file;
    // a failure is never reported and leaves the previous file as it was.
    void Flush();

    // The value, without the blanks around it, or `fallback` when the key is missing.
    std::string ReadString(const std::string& section, const std::string& key, const std::string& fallback) const;
    // Replaces the value in place, or adds the key at the end of its section (the section at the end).
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

    // `fallback` when the key is missing; a value that is not an integer raises EConversionError
    // "'%s' is not a valid integer value", an empty one included.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const;
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);

    // "TRUE", "YES", "Y" and "FALSE", "NO", "N" in any letter case, or an integer (0 is false);
    // anything else gives `fallback`.
    bool ReadBool(const std::string& section, const std::string& key, bool fallback) const;

    bool ValueExists(const std::string& section, const std::string& key) const;

    // The content exactly as Flush writes it.
    std::string Text() const;

private:
    struct Line
    {
        std::string text; // as read, or as last written
        std::string key; // empty for a line that holds no key (comment, text without "=")
        std::string value;
    };
    struct Section
    {
        std::string header;
        std::string name;
        std::vector<Line> lines;
    };

    void parse(const std::string& content);
    Section* findSection(const std::string& name);
    Line* findLine(const std::string& section, const std::string& key);
    const Line* findLine(const std::string& section, const std::string& key) const;

    std::string m_fileName;
    std::vector<std::string> m_leadingLines; // text before the first section
    std::vector<Section> m_sections;
    bool m_byteOrderMark = false;
    bool m_fileUnreadable = false; // a file we never saw is not replaced by our idea of it
};
