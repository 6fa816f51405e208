#include "platform/shell_open.h"

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

class XdgOpener final : public IShellOpener
{
public:
    void Open(const std::string& target) override
    {
        // A double fork leaves no child for us to reap, however long the browser takes to start.
        const pid_t child = ::fork();
        if (child < 0)
            return;
        if (child == 0) {
            ::setsid();
            pid_t grandchild = 0;
            const char* argv[] = {"xdg-open", target.c_str(), nullptr};
            const int rc = ::posix_spawnp(&grandchild, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ);
            ::_exit(rc == 0 ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
    }
};

std::shared_ptr<IShellOpener>& installed()
{
    static std::shared_ptr<IShellOpener> opener = std::make_shared<XdgOpener>();
    return opener;
}

} // namespace

IShellOpener& ShellOpener()
{
    return *installed();
}

void SetShellOpenerForTesting(std::shared_ptr<IShellOpener> opener)
{
    installed() = opener ? std::move(opener) : std::make_shared<XdgOpener>();
}
