// Reaching a file of the program folder without following the symbolic links another user may have put there.
#pragma once

#include <string>

// A file's folder, open for the *at calls, and the file's name in it. Whatever is opened, made or renamed
// through it stays in that folder, however the path is changed meanwhile.
//
// Run as root, the program may have been started from a program folder that another user can write, where a
// link could point at any file of the system. Then no component of the path below the program folder is
// followed if it is a symbolic link: the folders on the way are refused with ELOOP, and the callers open the
// entry itself with OpenFlags() and look at it with StatFlags(), which do not follow it either. The program
// folder's own path, and anything outside it, are the system's business and are taken as they are.
class TFolderEntry final
{
public:
    explicit TFolderEntry(const std::string& path);
    ~TFolderEntry();
    TFolderEntry(const TFolderEntry&) = delete;
    TFolderEntry& operator=(const TFolderEntry&) = delete;

    // The open folder, or -1 with Error() set.
    int Folder() const { return m_folder; }
    int Error() const { return m_error; }
    const std::string& Name() const { return m_name; }

    // Whether links are refused here, and would be for `path`.
    bool RefusesLinks() const { return m_refusesLinks; }
    static bool RefusesLinksAt(const std::string& path);
    // Opens the entry itself as a folder to read: the descriptor, or -errno (ELOOP for a refused link).
    int OpenAsFolder() const;

    // O_NOFOLLOW or AT_SYMLINK_NOFOLLOW where links are refused, otherwise 0.
    int OpenFlags() const;
    int StatFlags() const;

private:
    int m_folder = -1;
    int m_error = 0;
    std::string m_name;
    bool m_refusesLinks = false;
};
