// Opening a web page or a file with the desktop's handler for it.
#pragma once

#include <functional>
#include <memory>
#include <string>

class IShellOpener
{
public:
    virtual ~IShellOpener() = default;
    // Hands `target` (a URL or a path) to the desktop and returns at once; the outcome is not waited for.
    virtual void Open(const std::string& target) = 0;
    // Opens as Open does, then calls `outcome` with whether the desktop could open it, possibly later and on
    // another thread. A handler still running after a few seconds counts as opened.
    virtual void OpenAndReport(const std::string& target, std::function<void(bool opened)> outcome);
    // Starts a downloaded file: an executable runs with `parameters` split at blanks, anything else goes to
    // the desktop's handler. False when there is nothing to start.
    virtual bool Launch(const std::string& file, const std::string& parameters);
};

// The shared opener: xdg-open in a detached process, or the one a test installed.
IShellOpener& ShellOpener();
void SetShellOpenerForTesting(std::shared_ptr<IShellOpener> opener);
