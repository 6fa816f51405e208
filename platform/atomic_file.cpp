#include "platform/atomic_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view TemporaryPrefix = ".corvane-";

// A name mkstemp made from our prefix: six letters or digits after it.
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

int writeInPlace(const std::string& path, const std::string& content, mode_t mode, const struct stat& before)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
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

} // namespace

int ReplaceFileContent(const std::string& path, const std::string& content, mode_t newFileMode, mode_t keptModeBits,
                       bool inPlaceWithoutTemporary)
{
    // Write through a symbolic link rather than replacing the link with a plain file.
    std::string target = path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved))
        target = resolved;

    mode_t mode = newFileMode;
    struct stat st
    {
    };
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return EISDIR;
        // Rename would replace a file we may not write; refuse as a plain write would.
        if (IsReadOnlyFile(target))
            return EACCES;
        mode = st.st_mode & keptModeBits;
    } else if (errno != ENOENT) {
        return errno;
    }
    const bool exists = S_ISREG(st.st_mode);

    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    std::string temp = folder + std::string(TemporaryPrefix) + "XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        // A writable file in a folder we may not write: no temporary is possible, but the file itself can
        // still take the content, without the protection of the rename.
        if (inPlaceWithoutTemporary && exists && (errno == EACCES || errno == EPERM))
            return writeInPlace(target, content, mode, st);
        return errno;
    }
    // Held while the temporary exists, so a start-up sweep can tell it from one a killed writer left behind.
    ::flock(fd, LOCK_EX | LOCK_NB);
    int error = writeAll(fd, content);
    if (!error && ::fchmod(fd, mode) != 0)
        error = errno;
    // Keep a user's file theirs when root rewrites it; failing that is no reason to lose the write.
    if (!error && st.st_uid != 0 && ::geteuid() == 0 && ::fchown(fd, st.st_uid, st.st_gid) != 0) { }
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(temp.c_str(), target.c_str()) != 0)
        error = errno;
    if (error)
        ::unlink(temp.c_str());
    return error;
}

bool IsReadOnlyFile(const std::string& path)
{
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0)
        return false;
    // No write bit at all counts as read-only even for root, who would pass access(W_OK).
    return (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

int ReadFileContent(const std::string& path, std::string& content)
{
    // Non-blocking, so a FIFO in the file's place cannot hold start-up in open(); only plain files are read,
    // and no more than a settings file could sensibly hold, so a link to a device cannot eat the memory.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
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
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
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
