#include "app/text_buffer.h"

#include "platform/atomic_file.h"
#include "platform/file_errors.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Splits a byte stream into lines as it arrives, so a file can be read in chunks.
class LineSplitter
{
public:
    LineSplitter(std::vector<std::string>& lines, size_t maxLines)
        : m_lines(lines)
        , m_maxLines(maxLines)
    { }

    bool Full() const { return m_lines.size() >= m_maxLines; }

    void Feed(const char* data, size_t size)
    {
        for (size_t i = 0; i < size && !Full(); ++i) {
            const char c = data[i];
            if (m_pendingBreak) {
                const char partner = m_pendingBreak == '\r' ? '\n' : '\r';
                m_pendingBreak = 0;
                if (c == partner)
                    continue; // second half of CR LF or LF CR
            }
            if (c == '\r' || c == '\n') {
                EndLine();
                m_pendingBreak = c;
            } else {
                m_open = true;
                if (m_current.size() < TTextBuffer::MaxLineLength)
                    m_current.push_back(c);
            }
        }
    }

    void Finish()
    {
        if (m_open && !Full())
            EndLine();
    }

private:
    void EndLine()
    {
        m_lines.push_back(std::move(m_current));
        m_current.clear();
        m_open = false;
    }

    std::vector<std::string>& m_lines;
    size_t m_maxLines;
    std::string m_current;
    bool m_open = false;
    char m_pendingBreak = 0;
};

} // namespace

std::string TTextBuffer::Line(int index) const
{
    return index >= 0 && index < Count() ? m_lines[static_cast<size_t>(index)] : std::string();
}

std::string TTextBuffer::Text() const
{
    std::string text;
    for (const auto& line : m_lines)
        text.append(line).append("\r\n");
    return text;
}

void TTextBuffer::SetText(const std::string& text, size_t maxLines)
{
    m_lines.clear();
    LineSplitter splitter(m_lines, maxLines);
    splitter.Feed(text.data(), text.size());
    splitter.Finish();
}

void TTextBuffer::LoadFromFile(const std::string& path, size_t maxLines)
{
    const int fd = OpenForReading(path);
    if (fd < 0)
        throw EFileOpenError(path, -fd);
    // A FIFO or device named like a resource would block or never end: only plain files are read.
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        throw EFileOpenError(path, error);
    }
    std::vector<std::string> lines;
    LineSplitter splitter(lines, maxLines);
    char chunk[16384];
    size_t taken = 0;
    // A file without the line breaks we wait for (a huge sparse one, say) is not read to its end: past the
    // limit the lines read so far are all there is.
    while (!splitter.Full() && taken < ReadLimit) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            throw EFileOpenError(path, error);
        }
        if (n == 0)
            break;
        const size_t size = std::min(static_cast<size_t>(n), ReadLimit - taken);
        taken += size;
        splitter.Feed(chunk, size);
    }
    ::close(fd);
    splitter.Finish();
    m_lines = std::move(lines);
}

void TTextBuffer::SaveToFile(const std::string& path) const
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    // A resource file the user may write stays writable when its folder is not, as a plain write would.
    if (const int error = ReplaceFileContent(path, Text(), 0666 & ~mask, 07777, true))
        throw EFileCreateError(path, error);
}
