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
};

// The shared opener: xdg-open in a detached process, or the one a test installed.
IShellOpener& ShellOpener();
void SetShellOpenerForTesting(std::shared_ptr<IShellOpener> opener);
