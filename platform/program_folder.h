// The program folder: where the executable lies, and where every file of the program lives.
#pragma once

#include <string>

// The executable's folder with a trailing "/", from /proc/self/exe.
std::string ProgramFolder();

// Tests run the program's code inside a temporary folder; an empty path goes back to the executable's.
void SetProgramFolderForTesting(const std::string& folder);

// The executable's file name, without its folder.
std::string ExecutableName();
