#include "platform/folder_entry.h"

#include "platform/program_folder.h"

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

} // namespace

bool TFolderEntry::RefusesLinksAt(const std::string& path)
{
    const std::string base = ProgramFolder();
    return ::geteuid() == 0 && !base.empty() && folderOf(path).starts_with(base);
}

TFolderEntry::TFolderEntry(const std::string& path)
    : m_name(path.substr(path.rfind('/') + 1))
    , m_refusesLinks(RefusesLinksAt(path))
{
    const std::string folder = folderOf(path);
    const std::string base = ProgramFolder();
    if (!m_refusesLinks) {
        m_folder = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        m_error = m_folder < 0 ? errno : 0;
        return;
    }
    m_folder = ::open(base.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    // One component at a time, each opened without following it: a link among them fails with ELOOP.
    std::string_view rest = std::string_view(folder).substr(base.size());
    while (m_folder >= 0 && !rest.empty()) {
        const auto end = rest.find('/');
        const std::string component(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (component.empty() || component == ".")
            continue;
        // A way out of the program folder is no part of it.
        const int next = component == ".."
            ? (errno = EACCES, -1)
            : ::openat(m_folder, component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        int error = errno;
        struct stat st
        {
        };
        // With O_DIRECTORY a link is "not a directory"; it is told as the refused link it is.
        if (next < 0 && error == ENOTDIR && ::fstatat(m_folder, component.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISLNK(st.st_mode))
            error = ELOOP;
        ::close(m_folder);
        m_folder = next;
        errno = error;
    }
    m_error = m_folder < 0 ? errno : 0;
}

TFolderEntry::~TFolderEntry()
{
    if (m_folder >= 0)
        ::close(m_folder);
}

int TFolderEntry::OpenFlags() const
{
    return m_refusesLinks ? O_NOFOLLOW : 0;
}

int TFolderEntry::StatFlags() const
{
    return m_refusesLinks ? AT_SYMLINK_NOFOLLOW : 0;
}
