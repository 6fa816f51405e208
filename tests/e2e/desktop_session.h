// A private X server with the real program running on it, driven by xdotool and looked at with screenshots.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Runs a command to completion; returns its exit status and standard output.
struct CommandResult
{
    int status = -1;
    std::string output;
};
CommandResult RunCommand(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {},
                         int timeoutMs = 20000);

bool CommandAvailable(const std::string& name);

// Starts a process without waiting for it; its standard error goes to `errorFile` when one is named.
pid_t StartProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                   const std::string& folder, const std::string& errorFile = std::string());
// Reaps it; false on time-out. The status is the exit code, or 128 plus the signal that ended it.
bool WaitForProcess(pid_t pid, int timeoutMs, int* exitStatus = nullptr);

class TempFolder;

class DesktopSession
{
public:
    // Starts Xvfb on a free display with a screen of the given size.
    DesktopSession(int width = 1280, int height = 1024);
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    bool Started() const { return m_xvfb > 0; }
    const std::string& Display() const { return m_display; }

    // Runs a tool (xdotool, import, ...) against this display.
    CommandResult Tool(const std::vector<std::string>& argv, int timeoutMs = 20000) const;

    // Starts a stock window manager ("openbox", "xfwm4", "icewm" or "fluxbox") with its own settings in a
    // home of its own, and waits until it manages the screen. Each changes placement, stacking, focus and
    // taskbars its own way, so the cases that differ are tested under each and without one. Those that
    // bring a notification area of their own are started without it: trayer or the panel stands in.
    bool StartWindowManager(const std::string& name = "openbox");
    // Starts trayer, an XEmbed notification area, and waits until it owns the tray selection.
    bool StartTray();
    // Stops it and waits until the selection has no owner.
    void StopTray();
    // Starts a session bus and an xfce4-panel whose status tray hosts StatusNotifierItems on it, and waits
    // until the tray is there; programs started afterwards use that bus.
    bool StartStatusTray();
    // Stops the panel and waits until its tray has left the bus.
    void StopStatusTray();
    bool StatusTrayRegistered() const;
    // The panel's window, while it runs.
    std::optional<QRect> StatusTrayGeometry() const;
    // Starts the accessibility bus, where programs started afterwards show their windows; false without at-spi.
    bool StartAccessibility();
    // What assistive technology reads of the program's windows, hidden ones too: "push button: OK" and the like.
    std::vector<std::string> AccessibleTexts() const;
    // Whether some client owns the notification area's selection of screen 0.
    bool TrayOwned() const;
    // The notification area's window, while trayer runs.
    std::optional<std::string> TrayWindow() const;

    // Starts `executable` on this display with `folder` as its working folder and `env` added; its standard
    // error is appended to `errorFile` when one is named.
    void StartProgram(const std::string& executable, const std::string& folder,
                      const std::map<std::string, std::string>& env = {}, const std::string& errorFile = {});
    // Waits for the program to end by itself; false on time-out.
    bool WaitForExit(int timeoutMs, int* exitStatus = nullptr);
    void StopProgram();
    bool ProgramRunning();
    void SignalProgram(int signal) const;
    // Ends the X server under the program, as a crashed or logged-out display does.
    void StopServer();

    // The first top-level window whose name matches `name` exactly, once it is mapped.
    std::optional<std::string> WaitForWindow(const std::string& name, int timeoutMs = 15000) const;
    std::optional<QRect> WindowGeometry(const std::string& window) const;
    // Where the window's frame lies among the screen's top-level windows, 0 at the bottom; -1 if it has none.
    int StackingPosition(unsigned long window) const;
    // The outer rectangle of the window's frame (the window itself where there is none).
    std::optional<QRect> FrameGeometry(unsigned long window) const;
    // Windows whose name matches the pattern and that are visible.
    std::vector<std::string> VisibleWindows(const std::string& namePattern) const;

    QImage Screenshot() const;
    void SaveScreenshot(const std::string& path) const;

    // Sets the root window's background to a picture (Xvfb ignores xsetroot).
    void SetBackground(const std::string& picturePath);

private:
    // DISPLAY, and the home and the session bus of the desktop's own programs.
    std::map<std::string, std::string> desktopEnvironment();
    // A session bus of the display's own, for the desktop's programs and the program under test.
    bool startBus();

    pid_t m_xvfb = -1;
    pid_t m_program = -1;
    pid_t m_background = -1;
    pid_t m_windowManager = -1;
    pid_t m_tray = -1;
    pid_t m_bus = -1;
    pid_t m_panel = -1;
    pid_t m_accessibility = -1;
    std::string m_display;
    std::string m_busAddress;
    std::string m_accessibilityAddress;
    // The home of the window manager and the panel, with their settings.
    std::unique_ptr<TempFolder> m_home;
};
