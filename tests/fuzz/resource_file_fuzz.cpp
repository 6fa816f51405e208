// Any resource file: read from disk in chunks it gives the lines the whole text gives, each line within
// the length limit and free of line breaks, and the two lines a cycle reads are the first two of all.
#include "app/text_buffer.h"

#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

std::vector<std::string> linesOf(const TTextBuffer& buffer)
{
    std::vector<std::string> lines;
    for (int i = 0; i < buffer.Count(); ++i)
        lines.push_back(buffer.Line(i));
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    TTextBuffer all;
    all.SetText(text);
    for (const std::string& line : linesOf(all))
        if (line.size() > TTextBuffer::MaxLineLength || line.find_first_of("\r\n") != std::string::npos)
            __builtin_trap();

    TTextBuffer two;
    two.SetText(text, 2);
    auto firstTwo = linesOf(all);
    firstTwo.resize(std::min<size_t>(firstTwo.size(), 2));
    if (linesOf(two) != firstTwo)
        __builtin_trap();

    // The same bytes through the file reader, whose reads end at arbitrary places in a line break.
    static const int fd = ::memfd_create("resource", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, text.data(), text.size(), 0) != ssize_t(text.size()))
        return 0;
    TTextBuffer loaded;
    loaded.LoadFromFile("/proc/self/fd/" + std::to_string(fd), 2);
    if (linesOf(loaded) != firstTwo)
        __builtin_trap();

    // What the buffer writes reads back as the same lines.
    TTextBuffer again;
    again.SetText(all.Text());
    if (linesOf(again) != linesOf(all))
        __builtin_trap();
    return 0;
}
