// The program folder: where every file of the program lives. That is the executable's own folder, as for a
// build tree or a portable copy, unless the executable is installed or its folder is not ours to write; then
// it is the user's data folder for the program.
#pragma once

#include <string>

// The program folder with a trailing "/", decided once per run (see ProgramFolderFor).
std::string ProgramFolder();

// Tests run the program's code inside a temporary folder; an empty path goes back to the real one.
void SetProgramFolderForTesting(const std::string& folder);

// The executable's file name, without its folder.
std::string ExecutableName();

// The executable's folder with a trailing "/", from /proc/self/exe.
std::string ExecutableFolder();

// The program folder for an executable in `executableFolder` (with its trailing "/"): that folder, unless
// it is the "bin" folder of an installation (a "share/corvane" beside it) or cannot be written; then
// UserDataFolder().
std::string ProgramFolderFor(const std::string& executableFolder);

// "$XDG_DATA_HOME/corvane/", by default "~/.local/share/corvane/".
std::string UserDataFolder();

// At the first start with a user data folder as the program folder: creates it with an empty "list" and a
// copy of the alarm sound, from beside the executable or from the installation's "share/corvane".
// Does nothing for any other program folder, or once it has its "list". Failures are left to the program's
// own errors when it uses the folder.
void SeedProgramFolder(const std::string& programFolder, const std::string& executableFolder);
