// Splitting text into lines the way the program's text files and pages are written: CR LF, CR or LF.
#pragma once

#include <string_view>
#include <vector>

// The lines of `text`, each without its break. A last line without a break counts; nothing after a final
// break does.
std::vector<std::string_view> SplitLines(std::string_view text);
