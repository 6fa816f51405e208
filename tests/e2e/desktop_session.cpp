#include "tests/e2e/desktop_session.h"

#include "tests/support/temp_folder.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> environmentWith(const std::map<std::string, std::string>& extra)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (!extra.count(name))
            env.push_back(entry);
    }
    for (const auto& [name, value] : extra)
        env.push_back(name + "=" + value);
    return env;
}

pid_t spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env, int stdoutFd,
            const std::string& folder = std::string(), const std::string& errorFile = std::string())
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto envStrings = environmentWith(env);
    std::vector<char*> envp;
    for (const auto& e : envStrings)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (!errorFile.empty())
        posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (!folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool waitFor(pid_t pid, int timeoutMs, int* status)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int s = 0;
        const pid_t r = ::waitpid(pid, &s, WNOHANG);
        if (r == pid) {
            if (status)
                *status = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
            return true;
        }
        if (r < 0 || Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void stop(pid_t& pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    if (!waitFor(pid, 3000, nullptr)) {
        ::kill(pid, SIGKILL);
        waitFor(pid, 3000, nullptr);
    }
    pid = -1;
}

} // namespace

pid_t StartProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                   const std::string& folder, const std::string& errorFile)
{
    return spawn(argv, env, -1, folder, errorFile);
}

bool WaitForProcess(pid_t pid, int timeoutMs, int* exitStatus)
{
    return waitFor(pid, timeoutMs, exitStatus);
}

CommandResult RunCommand(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                         int timeoutMs)
{
    CommandResult result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return result;
    const pid_t pid = spawn(argv, env, fds[1]);
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return result;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    for (;;) {
        pollfd p {fds[0], POLLIN, 0};
        const int left
            = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        if (left <= 0 || ::poll(&p, 1, left) <= 0)
            break;
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.output.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (!waitFor(pid, 2000, &result.status)) {
        ::kill(pid, SIGKILL);
        waitFor(pid, 2000, nullptr);
        result.status = -1;
    }
    return result;
}

bool CommandAvailable(const std::string& name)
{
    return RunCommand({"sh", "-c", "command -v " + name}, {}, 5000).status == 0;
}

DesktopSession::DesktopSession(int width, int height)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    // Xvfb picks a free display and writes its number to the descriptor we give it.
    const std::string geometry = std::to_string(width) + "x" + std::to_string(height) + "x24";
    m_xvfb = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", geometry, "-nolisten", "tcp", "-dpi",
                    "96", "-noreset"},
                   {}, -1);
    ::close(fds[1]);
    std::string number;
    char c;
    pollfd p {fds[0], POLLIN, 0};
    while (::poll(&p, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
        number.push_back(c);
    ::close(fds[0]);
    if (number.empty()) {
        stop(m_xvfb);
        return;
    }
    m_display = ":" + number;
}

DesktopSession::~DesktopSession()
{
    stop(m_program);
    stop(m_accessibility);
    stop(m_panel);
    stop(m_bus);
    stop(m_tray);
    stop(m_windowManager);
    stop(m_background);
    stop(m_xvfb);
}

namespace {

// Polls `ready` every 50 ms until it holds or `timeoutMs` has passed.
template<class Ready>
bool waitUntil(Ready ready, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        if (ready())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

} // namespace

namespace {

// A taskbar as usual, but no notification area: trayer or the panel is the one the tests start.
const char* const IcewmPreferences = "TaskBarEnableSystemTray=0\nTaskBarShowTray=0\n";
// fluxbox replaces a settings file it is pointed at on its first start, so its own file is written ahead,
// in the version it reads without upgrading.
const char* const FluxboxInit = "session.configVersion: 13\n"
                                "session.screen0.toolbar.tools: workspacename, iconbar, clock\n";

// One panel along the bottom edge with nothing on it but the status tray.
const char* const PanelSettings = R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=8;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
)";

} // namespace

std::map<std::string, std::string> DesktopSession::desktopEnvironment()
{
    if (!m_home)
        m_home = std::make_unique<TempFolder>();
    std::map<std::string, std::string> env {
        {"DISPLAY", m_display}, {"HOME", m_home->Path()}, {"XDG_CONFIG_HOME", m_home->File(".config")}};
    if (!m_busAddress.empty())
        env["DBUS_SESSION_BUS_ADDRESS"] = m_busAddress;
    return env;
}

bool DesktopSession::StartWindowManager(const std::string& name)
{
    if (!Started() || !CommandAvailable(name))
        return false;
    // xfwm4 reads its settings from a service on the session bus, and gives up without them.
    if (name == "xfwm4" && !startBus())
        return false;
    const auto env = desktopEnvironment();
    std::vector<std::string> argv {name};
    if (name == "openbox") {
        argv.push_back("--sm-disable");
    } else if (name == "xfwm4") {
        argv = {"xfwm4", "--sm-client-disable", "--compositor=off"};
    } else if (name == "icewm") {
        m_home->Write("icewm-preferences", IcewmPreferences);
        argv = {"icewm", "-c", m_home->File("icewm-preferences")};
    } else if (name == "fluxbox") {
        m_home->MakeFolder(".fluxbox");
        m_home->Write(".fluxbox/init", FluxboxInit);
    }
    // Their warnings about settings and hints they do not know would bury the test output.
    m_windowManager = spawn(argv, env, -1, std::string(), "/dev/null");
    if (m_windowManager <= 0)
        return false;
    // A window manager that has taken the screen names its check window on the root window.
    const bool managing = waitUntil(
        [this] {
            const auto result = Tool({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, 2000);
            return result.status == 0 && result.output.find("window id") != std::string::npos;
        },
        10000);
    if (managing && name == "fluxbox") {
        // It greets a display without a wallpaper program with a message box about its wallpaper.
        std::string message;
        waitUntil(
            [&] {
                std::istringstream found(
                    Tool({"xdotool", "search", "--onlyvisible", "--class", "Xmessage"}, 2000).output);
                return static_cast<bool>(found >> message);
            },
            5000);
        if (!message.empty())
            Tool({"xdotool", "windowkill", message});
    }
    return managing;
}

bool DesktopSession::startBus()
{
    if (m_bus > 0)
        return true;
    if (!CommandAvailable("dbus-daemon"))
        return false;
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    // Services it starts (the settings store of xfwm4 and the panel) get the desktop's home and display.
    m_bus = spawn({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, desktopEnvironment(), fds[1],
                  std::string(), "/dev/null");
    ::close(fds[1]);
    std::string address;
    char c;
    pollfd p {fds[0], POLLIN, 0};
    while (::poll(&p, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
        address.push_back(c);
    ::close(fds[0]);
    m_busAddress = address;
    return !address.empty();
}

namespace {

using Accessible = std::pair<QString, QString>; // the service and the object path

// One call on an element of the accessibility bus; nothing when it does not answer.
QVariant accessibilityCall(const QDBusConnection& bus, const Accessible& of, const char* method,
                           const QList<QVariant>& args = {})
{
    const bool property = args.size() == 2;
    QDBusMessage call = QDBusMessage::createMethodCall(of.first, of.second,
                                                       property ? QStringLiteral("org.freedesktop.DBus.Properties")
                                                                : QStringLiteral("org.a11y.atspi.Accessible"),
                                                       QLatin1String(method));
    call.setArguments(args);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QVariant();
    return property ? reply.arguments().front().value<QDBusVariant>().variant() : reply.arguments().front();
}

QString accessibleName(const QDBusConnection& bus, const Accessible& of)
{
    return accessibilityCall(bus, of, "Get", {QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("Name")})
        .toString();
}

std::vector<Accessible> accessibleChildren(const QDBusConnection& bus, const Accessible& of)
{
    std::vector<Accessible> children;
    const QVariant reply = accessibilityCall(bus, of, "GetChildren");
    if (!reply.canConvert<QDBusArgument>())
        return children;
    const QDBusArgument list = reply.value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        QString service;
        QDBusObjectPath path;
        list.beginStructure();
        list >> service >> path;
        list.endStructure();
        children.emplace_back(service, path.path());
    }
    list.endArray();
    return children;
}

} // namespace

bool DesktopSession::StartAccessibility()
{
    const char* launcher = "/usr/libexec/at-spi-bus-launcher";
    if (!Started() || !startBus() || ::access(launcher, X_OK) != 0)
        return false;
    m_accessibility = spawn({launcher, "--launch-immediately"}, desktopEnvironment(), -1, std::string(), "/dev/null");
    return waitUntil(
        [&] {
            std::string address = RunCommand({"dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus",
                                              "/org/a11y/bus", "org.a11y.Bus.GetAddress"},
                                             {{"DBUS_SESSION_BUS_ADDRESS", m_busAddress}}, 3000)
                                      .output;
            if (address.find("unix:") == std::string::npos)
                return false;
            address.erase(0, address.find("unix:"));
            m_accessibilityAddress = address.substr(0, address.find_first_of(" \n"));
            return true;
        },
        10000);
}

std::vector<std::string> DesktopSession::AccessibleTexts() const
{
    std::vector<std::string> texts;
    const QString name = QStringLiteral("accessibility") + QString::fromStdString(m_display);
    {
        const QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(m_accessibilityAddress), name);
        // From the desktop, whose applications are the program alone: no other has its accessibility on. Bounded,
        // in case a tree were to point back into itself.
        std::vector<Accessible> pending {
            {QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/accessible/root")}};
        for (int visited = 0; !pending.empty() && visited < 5000; ++visited) {
            const Accessible element = pending.back();
            pending.pop_back();
            const QString text = accessibleName(bus, element);
            if (!text.isEmpty())
                texts.push_back(accessibilityCall(bus, element, "GetRoleName").toString().toStdString() + ": "
                                + text.toStdString());
            const auto children = accessibleChildren(bus, element);
            pending.insert(pending.end(), children.rbegin(), children.rend());
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return texts;
}

bool DesktopSession::StartStatusTray()
{
    for (const char* tool : {"xfce4-panel", "dbus-send"})
        if (!Started() || !CommandAvailable(tool))
            return false;
    if (!startBus())
        return false;
    const auto env = desktopEnvironment();
    const std::string channels = ".config/xfce4/xfconf/xfce-perchannel-xml";
    m_home->MakeFolder(channels);
    m_home->Write(channels + "/xfce4-panel.xml", PanelSettings);
    m_panel = spawn({"xfce4-panel", "--disable-wm-check"}, env, -1, std::string(), "/dev/null");
    return m_panel > 0 && waitUntil([this] { return StatusTrayRegistered() && StatusTrayGeometry(); }, 15000);
}

void DesktopSession::StopStatusTray()
{
    stop(m_panel);
    waitUntil([this] { return !StatusTrayRegistered(); }, 5000);
}

bool DesktopSession::StatusTrayRegistered() const
{
    if (m_busAddress.empty())
        return false;
    const auto reply = RunCommand({"dbus-send", "--session", "--print-reply", "--dest=org.kde.StatusNotifierWatcher",
                                   "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties.Get",
                                   "string:org.kde.StatusNotifierWatcher", "string:IsStatusNotifierHostRegistered"},
                                  {{"DBUS_SESSION_BUS_ADDRESS", m_busAddress}}, 3000);
    return reply.status == 0 && reply.output.find("boolean true") != std::string::npos;
}

std::optional<QRect> DesktopSession::StatusTrayGeometry() const
{
    if (m_panel <= 0)
        return std::nullopt;
    std::istringstream windows(Tool({"xdotool", "search", "--onlyvisible", "--class", "xfce4-panel"}, 2000).output);
    for (std::string window; windows >> window;)
        if (const auto at = WindowGeometry(window); at && at->height() >= 16 && at->height() <= 64)
            return at;
    return std::nullopt;
}

bool DesktopSession::StartTray()
{
    if (!Started() || !CommandAvailable("trayer"))
        return false;
    m_tray = spawn({"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "120",
                    "--heighttype", "pixel", "--height", "24", "--SetDockType", "true", "--transparent", "false"},
                   {{"DISPLAY", m_display}}, -1);
    if (m_tray <= 0)
        return false;
    // Icons dock only once the selection is taken; its window shows before that.
    return waitUntil([this] { return TrayWindow() && TrayOwned(); }, 10000);
}

void DesktopSession::StopTray()
{
    stop(m_tray);
    waitUntil([this] { return !TrayOwned(); }, 5000);
}

bool DesktopSession::TrayOwned() const
{
    if (!Started())
        return false;
    xcb_connection_t* connection = xcb_connect(m_display.c_str(), nullptr);
    bool owned = false;
    if (!xcb_connection_has_error(connection)) {
        const char name[] = "_NET_SYSTEM_TRAY_S0";
        xcb_intern_atom_reply_t* atom
            = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
        if (atom) {
            xcb_get_selection_owner_reply_t* owner
                = xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
            owned = owner && owner->owner != XCB_NONE;
            std::free(owner);
            std::free(atom);
        }
    }
    xcb_disconnect(connection);
    return owned;
}

std::optional<std::string> DesktopSession::TrayWindow() const
{
    if (m_tray <= 0)
        return std::nullopt;
    // Its panel, the window that holds the icons; trayer's group leader is never shown.
    const auto result = Tool({"xdotool", "search", "--onlyvisible", "--class", "trayer"}, 2000);
    std::istringstream lines(result.output);
    std::string window;
    if (result.status != 0 || !(lines >> window))
        return std::nullopt;
    return window;
}

CommandResult DesktopSession::Tool(const std::vector<std::string>& argv, int timeoutMs) const
{
    return RunCommand(argv, {{"DISPLAY", m_display}}, timeoutMs);
}

void DesktopSession::StartProgram(const std::string& executable, const std::string& folder,
                                  const std::map<std::string, std::string>& env, const std::string& errorFile)
{
    std::map<std::string, std::string> all {{"DISPLAY", m_display},
                                            {"QT_QPA_PLATFORM", "xcb"},
                                            {"QT_AUTO_SCREEN_SCALE_FACTOR", "0"},
                                            {"QT_SCALE_FACTOR", "1"}};
    if (!m_busAddress.empty())
        all["DBUS_SESSION_BUS_ADDRESS"] = m_busAddress;
    // A desktop turns its programs' accessibility on when a screen reader asks; here the tests are the reader.
    if (!m_accessibilityAddress.empty())
        all["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1";
    for (const auto& [name, value] : env)
        all[name] = value;
    m_program = spawn({executable}, all, -1, folder, errorFile);
}

bool DesktopSession::WaitForExit(int timeoutMs, int* exitStatus)
{
    if (m_program <= 0)
        return true;
    if (!waitFor(m_program, timeoutMs, exitStatus))
        return false;
    m_program = -1;
    return true;
}

void DesktopSession::StopProgram()
{
    stop(m_program);
}

void DesktopSession::SignalProgram(int signal) const
{
    if (m_program > 0)
        ::kill(m_program, signal);
}

void DesktopSession::StopServer()
{
    stop(m_tray);
    stop(m_windowManager);
    stop(m_background);
    stop(m_xvfb);
}

bool DesktopSession::ProgramRunning()
{
    if (m_program <= 0)
        return false;
    if (::waitpid(m_program, nullptr, WNOHANG) == m_program) {
        m_program = -1;
        return false;
    }
    return true;
}

std::vector<std::string> DesktopSession::VisibleWindows(const std::string& namePattern) const
{
    const auto result = Tool({"xdotool", "search", "--onlyvisible", "--name", namePattern});
    std::vector<std::string> windows;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            windows.push_back(line);
    return windows;
}

std::optional<std::string> DesktopSession::WaitForWindow(const std::string& name, int timeoutMs) const
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        const auto windows = VisibleWindows("^" + name + "$");
        if (!windows.empty())
            return windows.front();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return std::nullopt;
}

std::optional<QRect> DesktopSession::WindowGeometry(const std::string& window) const
{
    const auto result = Tool({"xwininfo", "-id", window});
    if (result.status != 0)
        return std::nullopt;
    auto field = [&](const char* label) {
        const auto at = result.output.find(label);
        return at == std::string::npos ? -99999 : std::atoi(result.output.c_str() + at + std::strlen(label));
    };
    return QRect(field("Absolute upper-left X:"), field("Absolute upper-left Y:"), field("Width:"), field("Height:"));
}

namespace {

// The root's child that holds `window`: its frame, under a window manager that adds one; none if it is gone.
xcb_window_t frameOf(xcb_connection_t* connection, xcb_window_t window, xcb_window_t& root)
{
    for (;;) {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
        if (!tree)
            return XCB_NONE;
        root = tree->root;
        const xcb_window_t parent = tree->parent;
        std::free(tree);
        if (parent == root || parent == XCB_NONE)
            return window;
        window = parent;
    }
}

} // namespace

int DesktopSession::StackingPosition(unsigned long window) const
{
    xcb_connection_t* connection = xcb_connect(m_display.c_str(), nullptr);
    int position = -1;
    xcb_window_t root = XCB_NONE;
    const xcb_window_t frame = xcb_connection_has_error(connection)
        ? xcb_window_t {XCB_NONE}
        : frameOf(connection, static_cast<xcb_window_t>(window), root);
    // The root's children come bottom first.
    if (xcb_query_tree_reply_t* tree
        = frame == XCB_NONE ? nullptr : xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr)) {
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i)
            if (children[i] == frame)
                position = i;
        std::free(tree);
    }
    xcb_disconnect(connection);
    return position;
}

std::optional<QRect> DesktopSession::FrameGeometry(unsigned long window) const
{
    xcb_connection_t* connection = xcb_connect(m_display.c_str(), nullptr);
    std::optional<QRect> found;
    xcb_window_t root = XCB_NONE;
    const xcb_window_t frame = xcb_connection_has_error(connection)
        ? xcb_window_t {XCB_NONE}
        : frameOf(connection, static_cast<xcb_window_t>(window), root);
    // Its outer edge, border included: where the window manager put the window.
    if (xcb_get_geometry_reply_t* at = frame == XCB_NONE
            ? nullptr
            : xcb_get_geometry_reply(connection, xcb_get_geometry(connection, frame), nullptr)) {
        found = QRect(at->x, at->y, at->width + 2 * at->border_width, at->height + 2 * at->border_width);
        std::free(at);
    }
    xcb_disconnect(connection);
    return found;
}

QImage DesktopSession::Screenshot() const
{
    char path[] = "/tmp/corvane-shot-XXXXXX.png";
    const int fd = ::mkstemps(path, 4);
    if (fd < 0)
        return {};
    ::close(fd);
    SaveScreenshot(path);
    QImage image(QString::fromLocal8Bit(path));
    ::unlink(path);
    return image;
}

void DesktopSession::SaveScreenshot(const std::string& path) const
{
    Tool({"import", "-window", "root", path});
}

void DesktopSession::SetBackground(const std::string& picturePath)
{
    // A picture painted into the root window is lost once its client goes; a borderless window at the
    // origin, mapped before the program's, stays beneath it as a desktop does.
    stop(m_background);
    m_background
        = spawn({"display", "-geometry", "+0+0", "-borderwidth", "0", picturePath}, {{"DISPLAY", m_display}}, -1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
}
