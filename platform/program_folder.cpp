#include "platform/program_folder.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

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

std::string withSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

bool isFolder(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Installed as <prefix>/bin/corvane with the shared files in <prefix>/share/corvane/.
bool isInstalledBinFolder(const std::string& folder)
{
    return folder.ends_with("/bin/") && isFolder(folder + "../share/corvane");
}

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return std::string();
}

} // namespace

std::string ExecutableFolder()
{
    const std::string path = executablePath();
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string UserDataFolder()
{
    // Only an absolute XDG_DATA_HOME counts; a relative one is to be ignored.
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/')
        return withSlash(data) + "corvane/";
    const std::string home = homeFolder();
    return home.empty() ? std::string() : withSlash(home) + ".local/share/corvane/";
}

std::string ProgramFolderFor(const std::string& executableFolder)
{
    if (!isInstalledBinFolder(executableFolder) && ::access(executableFolder.c_str(), W_OK) == 0)
        return executableFolder;
    const std::string data = UserDataFolder();
    return data.empty() ? executableFolder : data;
}

std::string ProgramFolder()
{
    if (!overrideFolder().empty())
        return overrideFolder();
    static const std::string folder = ProgramFolderFor(ExecutableFolder());
    return folder;
}

void SetProgramFolderForTesting(const std::string& folder)
{
    overrideFolder() = folder.empty() ? folder : withSlash(folder);
}

std::string ExecutableName()
{
    const std::string path = executablePath();
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void SeedProgramFolder(const std::string& programFolder, const std::string& executableFolder)
{
    // A resource folder means the program folder was made already; what the user removed from it stays away.
    // A folder that cannot even be looked at (a home we may not enter) is left to the start-up's own errors.
    std::error_code error;
    if (programFolder == executableFolder || programFolder.empty() || fs::exists(programFolder + "list", error)
        || error)
        return;
    if (fs::create_directories(programFolder, error)) {
        // Data of one user: theirs alone, as the data folder's rules ask of folders made for it.
        fs::permissions(programFolder, fs::perms::owner_all, error);
    }
    if (error || !fs::create_directory(programFolder + "list", error))
        return;
    // Installed under ~/.local, the installation's share/corvane is this very folder and has its sound.
    if (fs::exists(programFolder + "dog.wav", error))
        return;
    for (const std::string& sound : {executableFolder + "dog.wav", executableFolder + "../share/corvane/dog.wav"}) {
        if (fs::is_regular_file(sound, error)) {
            fs::copy_file(sound, programFolder + "dog.wav", error);
            break;
        }
    }
}
