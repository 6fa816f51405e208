// A text of the program's own language in the language it speaks now, for code that keeps to the standard
// library: the translations are Qt's, installed at start.
#pragma once

#include <string>

// `text` of `context` as the installed translations give it, in UTF-8; `text` itself where none does.
std::string TranslatedText(const char* context, const char* text);
