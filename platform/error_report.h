// How an error reaches the user: the error box's title and text.
#pragma once

#include <string>

// The message as the error box shows it: a full stop is added when the last character sorts above ".".
std::string ErrorBoxText(const std::string& message);

// The application title from the executable's name: the part before the first dot, capitalised.
std::string ApplicationTitle(const std::string& executableName);
