// Which language the program speaks: the user's [Check] Language, else the desktop's as gettext programs read it.
#pragma once

#include <string>

enum class TLanguage { Italian, English };

// The variables a desktop names its language in; an empty one counts as not set.
struct TLanguageEnvironment
{
    std::string Language; // LANGUAGE: preferences apart by colons, the first first
    std::string LcAll;
    std::string LcMessages;
    std::string Lang;
};

// The variables as this process has them.
TLanguageEnvironment DesktopLanguageEnvironment();

// `setting` is [Check] Language ("it", "en", or any locale name); empty follows the desktop. The desktop's locale
// is the first of LC_ALL, LC_MESSAGES and LANG that is set. In the C or POSIX locale, or with none set, the
// program speaks Italian, its own language, and LANGUAGE is ignored as gettext ignores it there: scripts and
// tests that ask for the C locale get the texts they were written against. Otherwise the first entry of
// LANGUAGE that names a language the program has wins, and without one the locale decides. Italian gives
// Italian; every other language gives English until it has a translation of its own.
TLanguage ChooseLanguage(const std::string& setting, const TLanguageEnvironment& desktop);

// The language of this run: corvane.ini's [Check] Language over the process's environment.
TLanguage ProgramLanguage();

// "it" or "en", as translation files are named.
const char* LanguageCode(TLanguage language);
