// A multi-line text buffer, the scratch space in which resource files are read and written.
#pragma once

#include <string>
#include <vector>

class TTextBuffer
{
public:
    // Lines longer than this are cut; the rest of such a line is dropped.
    static constexpr size_t MaxLineLength = 4096;
    // The most LoadFromFile reads of one file, whatever its lines.
    static constexpr size_t ReadLimit = 1024 * 1024;

    void Clear() { m_lines.clear(); }
    void Add(std::string line) { m_lines.push_back(std::move(line)); }
    int Count() const { return static_cast<int>(m_lines.size()); }

    // Line `index`, or empty text for a line the buffer does not have.
    std::string Line(int index) const;

    // Every line followed by CR LF.
    std::string Text() const;

    // Replaces the content with `text`. CR LF, LF CR, a lone CR and a lone LF each end a line.
    // At most `maxLines` lines are kept.
    void SetText(const std::string& text, size_t maxLines = SIZE_MAX);

    // Replaces the content with the file's first `maxLines` lines; reading stops there, or after ReadLimit
    // bytes, so a huge file costs no more than its first lines. Only plain files are read; a FIFO or a
    // device raises EFileOpenError as a missing file does.
    void LoadFromFile(const std::string& path, size_t maxLines = SIZE_MAX);

    // Creates or replaces the file with Text(). Raises EFileCreateError.
    void SaveToFile(const std::string& path) const;

private:
    std::vector<std::string> m_lines;
};
