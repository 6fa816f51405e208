#include "platform/atomic_file.h"

#include "platform/folder_entry.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view TemporaryPrefix = ".corvane-";

// A temporary's name: our prefix and six letters or digits.
bool isTemporaryName(const char* name)
{
    const std::string_view text(name);
    if (text.size() != TemporaryPrefix.size() + 6 || !text.starts_with(TemporaryPrefix))
        return false;
    for (const char c : text.substr(TemporaryPrefix.size()))
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

int writeAll(int fd, const std::string& content)
{
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

int writeInPlace(const TFolderEntry& entry, const std::string& content, mode_t mode, const struct stat& before)
{
    const int fd = ::openat(entry.Folder(), entry.Name().c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat st
    {
    };
    int error = ::fstat(fd, &st) != 0 ? errno : 0;
    if (!error && (st.st_dev != before.st_dev || st.st_ino != before.st_ino))
        error = EAGAIN; // replaced while we looked: not the file that was checked
    // Narrowed first, so new content is never readable by more than it should be.
    if (!error && (st.st_mode & 07777) != mode && ::fchmod(fd, mode) != 0)
        error = errno;
    // Written over the old content and cut after, so the file is never empty on the way.
    if (!error)
        error = writeAll(fd, content);
    if (!error && ::ftruncate(fd, static_cast<off_t>(content.size())) != 0)
        error = errno;
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    return error;
}

// mkstemp inside an open folder: a new file of our temporary names, readable by us alone.
int createTemporary(int folder, std::string& name)
{
    static constexpr std::string_view Letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
            return -1;
        name = std::string(TemporaryPrefix);
        for (const unsigned char r : random)
            name += Letters[r % Letters.size()];
        const int fd = ::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool isReadOnly(const TFolderEntry& entry, const struct stat& st)
{
    // No write bit at all counts as read-only even for root, who would pass access(W_OK).
    return (st.st_mode & 0222) == 0 || ::faccessat(entry.Folder(), entry.Name().c_str(), W_OK, 0) != 0;
}

} // namespace

int ReplaceFileContent(const std::string& path, const std::string& content, mode_t newFileMode, mode_t keptModeBits,
                       bool inPlaceWithoutTemporary)
{
    std::string target = path;
    char resolved[PATH_MAX];
    // A user's own link is written through rather than replaced by a plain file (a settings file kept in a
    // repository of dotfiles); where links are refused, the link itself is replaced.
    if (!TFolderEntry::RefusesLinksAt(path) && ::realpath(path.c_str(), resolved))
        target = resolved;
    const TFolderEntry entry(target);
    if (entry.Folder() < 0)
        return entry.Error();

    mode_t mode = newFileMode;
    struct stat st
    {
    };
    if (::fstatat(entry.Folder(), entry.Name().c_str(), &st, entry.StatFlags()) == 0) {
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
            return EISDIR;
        // Rename would replace a file we may not write; refuse as a plain write would.
        if (S_ISREG(st.st_mode) && isReadOnly(entry, st))
            return EACCES;
        if (S_ISREG(st.st_mode))
            mode = st.st_mode & keptModeBits;
    } else if (errno != ENOENT) {
        return errno;
    }
    const bool exists = S_ISREG(st.st_mode);

    std::string temp;
    const int fd = createTemporary(entry.Folder(), temp);
    if (fd < 0) {
        // A writable file in a folder we may not write: no temporary is possible, but the file itself can
        // still take the content, without the protection of the rename.
        if (inPlaceWithoutTemporary && exists && (errno == EACCES || errno == EPERM))
            return writeInPlace(entry, content, mode, st);
        return errno;
    }
    // Held while the temporary exists, so a start-up sweep can tell it from one a killed writer left behind.
    ::flock(fd, LOCK_EX | LOCK_NB);
    int error = writeAll(fd, content);
    if (!error && ::fchmod(fd, mode) != 0)
        error = errno;
    // Keep a user's file theirs when root rewrites it; failing that is no reason to lose the write.
    if (!error && exists && st.st_uid != 0 && ::geteuid() == 0 && ::fchown(fd, st.st_uid, st.st_gid) != 0) { }
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::renameat(entry.Folder(), temp.c_str(), entry.Folder(), entry.Name().c_str()) != 0)
        error = errno;
    if (error)
        ::unlinkat(entry.Folder(), temp.c_str(), 0);
    return error;
}

bool IsReadOnlyFile(const std::string& path)
{
    const TFolderEntry entry(path);
    struct stat st
    {
    };
    return entry.Folder() >= 0 && ::fstatat(entry.Folder(), entry.Name().c_str(), &st, entry.StatFlags()) == 0
        && S_ISREG(st.st_mode) && isReadOnly(entry, st);
}

int OpenForReading(const std::string& path)
{
    const TFolderEntry entry(path);
    if (entry.Folder() < 0)
        return -entry.Error();
    // Non-blocking, so a FIFO in the file's place cannot hold the caller in open().
    const int fd
        = ::openat(entry.Folder(), entry.Name().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | entry.OpenFlags());
    return fd >= 0 ? fd : -errno;
}

int ReadFileContent(const std::string& path, std::string& content)
{
    // Only plain files are read, and no more than a settings file could sensibly hold, so a link to a device
    // cannot eat the memory.
    const int fd = OpenForReading(path);
    if (fd < 0)
        return -fd;
    auto fail = [fd](int error) {
        ::close(fd);
        return error;
    };
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
        return fail(errno);
    if (!S_ISREG(st.st_mode))
        return fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    if (st.st_size > static_cast<off_t>(FileReadLimit))
        return fail(EFBIG);
    content.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (n == 0)
            break;
        // The file may grow while it is read.
        if (content.size() + static_cast<size_t>(n) > FileReadLimit)
            return fail(EFBIG);
        content.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return 0;
}

int RemoveStaleTemporaries(const std::string& folder)
{
    const int folderFd = TFolderEntry(folder).OpenAsFolder();
    DIR* dir = folderFd < 0 ? nullptr : ::fdopendir(folderFd);
    if (!dir) {
        if (folderFd >= 0)
            ::close(folderFd);
        return 0;
    }
    const int dirFd = ::dirfd(dir);
    const time_t now = ::time(nullptr);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryName(entry->d_name))
            continue;
        struct stat st
        {
        };
        // Ours only: a plain file of this user's, not touched for a while, that no writer holds.
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)
            || st.st_uid != ::geteuid() || now - st.st_mtime < TemporaryQuietSeconds)
            continue;
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlinkat(dirFd, entry->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}
