// Replacing a file's content so that a crash or a full disk never leaves a truncated file behind.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

// Writes `content` to a temporary file beside `path`, syncs it and renames it over `path`. A symbolic link is
// written through, except below the program folder when run as root, where the link itself is replaced.
// An existing file keeps those of its permission bits that are in `keptModeBits`; a new one gets
// `newFileMode`. With `inPlaceWithoutTemporary`, a file that may be written in a folder that takes no
// temporary is written in place instead, without the protection of the rename.
// Returns 0, or the errno of the step that failed (after a failed rename the old file is untouched).
int ReplaceFileContent(const std::string& path, const std::string& content, mode_t newFileMode,
                       mode_t keptModeBits = 07777, bool inPlaceWithoutTemporary = false);

// A temporary younger than this may still be on its way to replacing its file.
inline constexpr int TemporaryQuietSeconds = 5;

// Removes the temporaries that ReplaceFileContent left in `folder` when the process was killed mid-write:
// our own names only, owned by us, older than TemporaryQuietSeconds, and held by no writer. Returns how
// many went.
int RemoveStaleTemporaries(const std::string& folder);

// An existing file that may not be written: no write permission bit, or none for us.
bool IsReadOnlyFile(const std::string& path);

// The most ReadFileContent takes in: far above any settings file, far below what would hurt.
inline constexpr size_t FileReadLimit = 1024 * 1024;

// Opens a file for reading without blocking on a FIFO, as ReadFileContent does: the descriptor, or -errno.
// Below the program folder, run as root, a symbolic link is refused with ELOOP (see TFolderEntry).
int OpenForReading(const std::string& path);

// Reads a whole plain file of at most FileReadLimit bytes without blocking on a FIFO. Returns 0 or an errno
// value: EISDIR for a folder, EINVAL for any other special file, EFBIG for a larger file.
int ReadFileContent(const std::string& path, std::string& content);
