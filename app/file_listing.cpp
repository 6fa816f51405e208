#include "app/file_listing.h"

#include "platform/exception.h"
#include "platform/file_errors.h"
#include "platform/folder_entry.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

char fold(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool matchFrom(const char* name, const char* mask)
{
    for (; *mask; ++mask, ++name) {
        if (*mask == '*') {
            for (const char* rest = name;; ++rest) {
                if (matchFrom(rest, mask + 1))
                    return true;
                if (!*rest)
                    return false;
            }
        }
        if (!*name || (*mask != '?' && fold(*mask) != fold(*name)))
            return false;
    }
    return !*name;
}

} // namespace

bool MatchesMask(const std::string& name, const std::string& mask)
{
    return matchFrom(name.c_str(), mask.c_str());
}

bool ListingLess(const std::string& a, const std::string& b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(fold(a[i]));
        const auto y = static_cast<unsigned char>(fold(b[i]));
        if (x != y)
            return x < y;
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

void TFileListing::SetDirectory(const std::string& path)
{
    // As root, below the program folder, never through a link (see TFolderEntry).
    const int fd = TFolderEntry(path).OpenAsFolder();
    if (fd < 0)
        throw EInOutError::FromErrno(-fd);
    ::close(fd);
    if (path != m_directory)
        m_directory = path;
}

void TFileListing::Update()
{
    const int fd = TFolderEntry(m_directory).OpenAsFolder();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(fd < 0 ? nullptr : ::fdopendir(fd), &::closedir);
    if (!dir) {
        const int error = fd < 0 ? -fd : errno;
        if (fd >= 0)
            ::close(fd);
        throw EInOutError::FromErrno(error);
    }
    std::vector<std::string> items;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        // Dot-files are the hidden files here; "." and ".." go with them.
        if (name.empty() || name[0] == '.' || !MatchesMask(name, m_mask))
            continue;
        // The entry's type usually comes with it; only links and unknown types need a stat.
        if (entry->d_type != DT_REG) {
            struct stat st
            {
            };
            if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
                continue;
            if (::fstatat(::dirfd(dir.get()), name.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode))
                continue;
        }
        items.push_back(name);
    }
    std::sort(items.begin(), items.end(), ListingLess);
    m_items = std::move(items);
}

const std::string& TFileListing::Item(int index) const
{
    if (index < 0 || index >= Count())
        throw EListIndexError(index);
    return m_items[static_cast<size_t>(index)];
}
