// Opening a web page or a file with the desktop's handler for it.
#pragma once

#include <memory>
#include <string>

class IShellOpener
{
public:
    virtual ~IShellOpener() = default;
    // Hands `target` (a URL or a path) to the desktop and returns at once; the outcome is not waited for.
    virtual void Open(const std::string& target) = 0;
    // Starts a downloaded file: an executable runs with `parameters` split at blanks, anything else goes to
    // the desktop's handler. False when there is nothing to start.
    virtual bool Launch(const std::string& file, const std::string& parameters);
};

// The shared opener: xdg-open in a detached process, or the one a test installed.
IShellOpener& ShellOpener();
void SetShellOpenerForTesting(std::shared_ptr<IShellOpener> opener);
