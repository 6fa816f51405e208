#include "platform/text_lines.h"

void ForEachLine(std::string_view text, const std::function<void(std::string_view line)>& visit)
{
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        visit(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        visit(text.substr(start));
}

std::vector<std::string_view> SplitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    ForEachLine(text, [&lines](std::string_view line) { lines.push_back(line); });
    return lines;
}
