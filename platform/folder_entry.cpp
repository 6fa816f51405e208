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

// Opens the folder `name` in `parent` for reading: the descriptor, or -errno. Without following a link when
// asked, and then a link is ELOOP, not the "not a directory" that O_DIRECTORY makes of it.
int openFolderIn(int parent, const char* name, bool refuseLinks)
{
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (refuseLinks ? O_NOFOLLOW : 0));
    if (fd >= 0)
        return fd;
    const int error = errno;
    struct stat st
    {
    };
    if (refuseLinks && error == ENOTDIR && ::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISLNK(st.st_mode))
        return -ELOOP;
    return -error;
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
        const int next = component == ".." ? -EACCES : openFolderIn(m_folder, component.c_str(), true);
        ::close(m_folder);
        m_folder = next < 0 ? -1 : next;
        m_error = next < 0 ? -next : 0;
    }
    if (m_folder < 0 && m_error == 0)
        m_error = errno;
}

int TFolderEntry::OpenAsFolder() const
{
    return m_folder < 0 ? -m_error : openFolderIn(m_folder, m_name.empty() ? "." : m_name.c_str(), m_refusesLinks);
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
