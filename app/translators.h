// Puts the program in the language chosen for it: its own texts, Qt's, and the way numbers and dates are written.
#pragma once

#include "app/language_choice.h"

// Installs the translations of `language` in place of any installed before; needs the application object and
// comes before the first window, whose texts are read when it is made. Italian is the program's own language:
// only Qt's texts are translated for it.
void InstallLanguage(TLanguage language);
