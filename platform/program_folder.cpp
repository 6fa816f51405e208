#include "platform/program_folder.h"

#include <climits>
#include <unistd.h>

namespace {

std::string& overrideFolder()
{
    static std::string folder;
    return folder;
}

std::string executablePath()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

} // namespace

std::string ProgramFolder()
{
    if (!overrideFolder().empty())
        return overrideFolder();
    const std::string path = executablePath();
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

void SetProgramFolderForTesting(const std::string& folder)
{
    overrideFolder() = folder.empty() || folder.back() == '/' ? folder : folder + '/';
}

std::string ExecutableName()
{
    const std::string path = executablePath();
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
