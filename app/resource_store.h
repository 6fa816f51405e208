// Resource files: one two-line file per watched host in the program folder's "list" folder.
#pragma once

#include <string>

class TTextBuffer;

// The resource folder, without a trailing separator.
std::string ResourceFolder();

// The full path of a listed (bare) resource name.
std::string ResourcePath(const std::string& bareName);

// Loads the resource file `bareName` into `buffer`: line 0 is the target, line 1 the echo count.
// Raises EFileOpenError.
void LoadResourceFile(TTextBuffer& buffer, const std::string& bareName);

// A typed name that stays inside the resource folder: not absolute and without a ".." component.
// Subfolders of the resource folder are fine.
bool IsNameInsideResourceFolder(const std::string& typedName);

// Creates or replaces the resource file named as the user typed it, inside the resource folder:
// exactly the target, CR LF, the count in decimal, CR LF. Raises EFileCreateError.
void WriteResourceFile(TTextBuffer& buffer, const std::string& typedName, const std::string& target, int count);

// Removes a listed resource file; a failure is not reported.
void DeleteResourceFile(const std::string& bareName);
