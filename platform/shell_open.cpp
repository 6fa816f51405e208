#include "platform/shell_open.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// Runs `argv` in a process of its own that we never wait for: a double fork leaves no child to reap.
bool spawnDetached(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::setsid();
        pid_t grandchild = 0;
        const int rc = ::posix_spawnp(&grandchild, args[0], nullptr, nullptr, args.data(), environ);
        ::_exit(rc == 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// How long xdg-open has to fail for the target to count as one the desktop cannot open. A browser that
// xdg-open waits for runs far longer, and its exit says nothing about the page.
constexpr auto FailureWindow = std::chrono::seconds(10);

class XdgOpener final : public IShellOpener
{
public:
    void Open(const std::string& target) override { spawnDetached({"xdg-open", target}); }

    void OpenAndReport(const std::string& target, std::function<void(bool)> outcome) override
    {
        std::vector<char*> args {const_cast<char*>("xdg-open"), const_cast<char*>(target.c_str()), nullptr};
        posix_spawnattr_t attributes;
        ::posix_spawnattr_init(&attributes);
        ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
        pid_t child = -1;
        const int rc = ::posix_spawnp(&child, args[0], nullptr, &attributes, args.data(), environ);
        ::posix_spawnattr_destroy(&attributes);
        if (rc != 0) {
            outcome(false);
            return;
        }
        // Reaped by a thread of its own, so the caller never waits for the handler.
        std::thread([child, outcome = std::move(outcome)] {
            const auto started = std::chrono::steady_clock::now();
            int status = 0;
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
            const bool failed = !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            outcome(!failed || std::chrono::steady_clock::now() - started > FailureWindow);
        }).detach();
    }

    bool Launch(const std::string& file, const std::string& parameters) override
    {
        struct stat st
        {
        };
        if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return false;
        if (::access(file.c_str(), X_OK) != 0)
            return spawnDetached({"xdg-open", file});
        std::vector<std::string> argv {file};
        std::istringstream words(parameters);
        for (std::string word; words >> word;)
            argv.push_back(word);
        return spawnDetached(argv);
    }
};

std::shared_ptr<IShellOpener>& installed()
{
    static std::shared_ptr<IShellOpener> opener = std::make_shared<XdgOpener>();
    return opener;
}

} // namespace

void IShellOpener::OpenAndReport(const std::string& target, std::function<void(bool)> outcome)
{
    Open(target);
    outcome(true);
}

bool IShellOpener::Launch(const std::string& file, const std::string&)
{
    Open(file);
    return true;
}

IShellOpener& ShellOpener()
{
    return *installed();
}

void SetShellOpenerForTesting(std::shared_ptr<IShellOpener> opener)
{
    installed() = opener ? std::move(opener) : std::make_shared<XdgOpener>();
}
