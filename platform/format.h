// printf-style formatting into std::string: the program's messages are written as printf patterns.
#pragma once

#include <string>

std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
