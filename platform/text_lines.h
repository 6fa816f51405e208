// Splitting text into lines the way the program's text files and pages are written: CR LF, CR or LF.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

// The lines of `text`, each without its break. A last line without a break counts; nothing after a final
// break does.
std::vector<std::string_view> SplitLines(std::string_view text);

// The same lines, one at a time, for text whose lines are not worth keeping side by side.
void ForEachLine(std::string_view text, const std::function<void(std::string_view line)>& visit);
