// Start-up of the real gadget against a minimal Qt Widgets program, both watched from outside on a private
// X server without a window manager: the time from spawning the program to the first frame drawn into its
// window, and its resident memory once idle. Prints `name value` lines.
//
// The frame is the first damage the X server reports inside the window after it was mapped. The server
// sees every drawing into the screen, so neither program is changed to be measured.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/damage.h>
#include <xcb/xcb.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const int Rounds
    = std::max(1, std::getenv("CORVANE_BENCH_ROUNDS") ? std::atoi(std::getenv("CORVANE_BENCH_ROUNDS")) : 7);
// Long enough for the gadget's first cycles (one a second in the folder below) to have come and gone.
constexpr auto Settle = std::chrono::milliseconds(2500);
constexpr auto StartTimeout = std::chrono::seconds(30);

using Event = std::unique_ptr<xcb_generic_event_t, decltype(&std::free)>;
template<class Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Starts a program with its output discarded and `env` laid over this process's environment.
pid_t spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env, int stdoutFd = -1)
{
    std::vector<std::string> entries;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!env.count(entry.substr(0, entry.find('='))))
            entries.push_back(entry);
    }
    for (const auto& [name, value] : env)
        entries.push_back(name + "=" + value);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : entries)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void stop(pid_t pid)
{
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 150; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

long residentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

struct Rect
{
    int x = 0, y = 0, width = 0, height = 0;
    bool intersects(const xcb_rectangle_t& r) const
    {
        return r.x < x + width && x < r.x + r.width && r.y < y + height && y < r.y + r.height;
    }
};

class XServer
{
public:
    XServer()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            throw std::runtime_error("no pipe");
        // Xvfb picks a free display and writes its number to the descriptor it is given.
        m_pid = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                       "-dpi", "96"},
                      {});
        ::close(fds[1]);
        std::string number;
        char c;
        pollfd p {fds[0], POLLIN, 0};
        while (::poll(&p, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number.push_back(c);
        ::close(fds[0]);
        if (m_pid <= 0 || number.empty())
            throw std::runtime_error("Xvfb did not start");
        m_display = ":" + number;
        m_connection = xcb_connect(m_display.c_str(), nullptr);
        if (xcb_connection_has_error(m_connection))
            throw std::runtime_error("cannot connect to Xvfb");
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;

        const xcb_query_extension_reply_t* damage = xcb_get_extension_data(m_connection, &xcb_damage_id);
        if (!damage || !damage->present)
            throw std::runtime_error("the X server has no DAMAGE extension");
        m_damageNotify = damage->first_event + XCB_DAMAGE_NOTIFY;
        std::free(xcb_damage_query_version_reply(m_connection, xcb_damage_query_version(m_connection, 1, 1), nullptr));
        // Damage on the root window covers every window drawn on the screen.
        xcb_damage_create(m_connection, xcb_generate_id(m_connection), m_root, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        m_netWmName = atom("_NET_WM_NAME");
        m_windowType = atom("_NET_WM_WINDOW_TYPE");
        m_dialogType = atom("_NET_WM_WINDOW_TYPE_DIALOG");
        xcb_flush(m_connection);
    }

    ~XServer()
    {
        if (m_connection)
            xcb_disconnect(m_connection);
        if (m_pid > 0)
            stop(m_pid);
    }

    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Starts `executable` and returns once a frame was drawn into its window named one of `names`: the
    // milliseconds that took, and the program's resident memory after it has idled a while.
    std::pair<double, long> Measure(const std::string& executable, const std::vector<std::string>& names)
    {
        while (Event(xcb_poll_for_event(m_connection), &std::free)) { }
        const auto start = Clock::now();
        const pid_t pid = spawn({executable},
                                {{"DISPLAY", m_display},
                                 {"QT_QPA_PLATFORM", "xcb"},
                                 {"QT_AUTO_SCREEN_SCALE_FACTOR", "0"},
                                 {"QT_SCALE_FACTOR", "1"},
                                 // No update check at start-up: it would measure the network.
                                 {"CORVANE_UPDATE_HOST", ""}});
        if (pid <= 0)
            throw std::runtime_error("cannot start " + executable);
        double frame = 0;
        try {
            frame = waitForFrame(start, names);
            const auto idleUntil = Clock::now() + Settle;
            while (Event(next(idleUntil), &std::free)) { }
        } catch (...) {
            stop(pid);
            throw;
        }
        const long rss = residentKb(pid);
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            throw std::runtime_error(executable + " ended by itself");
        stop(pid);
        return {frame, rss};
    }

private:
    xcb_atom_t atom(const char* name)
    {
        const ReplyPtr<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(m_connection,
                                  xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
                                  nullptr),
            &std::free);
        return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    }

    std::string property(xcb_window_t window, xcb_atom_t name)
    {
        const ReplyPtr<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(m_connection,
                                   xcb_get_property(m_connection, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                                   nullptr),
            &std::free);
        if (!reply)
            return {};
        return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                           static_cast<size_t>(xcb_get_property_value_length(reply.get())));
    }

    // The program's own window, not an error box that happens to carry the same title.
    bool isProgramWindow(xcb_window_t window, const std::vector<std::string>& names)
    {
        std::string title = property(window, m_netWmName);
        if (title.empty())
            title = property(window, XCB_ATOM_WM_NAME);
        if (std::find(names.begin(), names.end(), title) == names.end())
            return false;
        const std::string types = property(window, m_windowType);
        for (size_t at = 0; at + sizeof(xcb_atom_t) <= types.size(); at += sizeof(xcb_atom_t)) {
            xcb_atom_t type;
            std::memcpy(&type, types.data() + at, sizeof type);
            if (type == m_dialogType)
                return false;
        }
        return true;
    }

    Rect geometry(xcb_window_t window)
    {
        const ReplyPtr<xcb_get_geometry_reply_t> reply(
            xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr), &std::free);
        if (!reply)
            return {};
        return {reply->x, reply->y, reply->width + 2 * reply->border_width, reply->height + 2 * reply->border_width};
    }

    double waitForFrame(Clock::time_point start, const std::vector<std::string>& names)
    {
        xcb_window_t window = XCB_WINDOW_NONE;
        Rect shown;
        for (;;) {
            const Event event(next(start + StartTimeout), &std::free);
            if (!event)
                throw std::runtime_error("no window drawn within the time limit");
            const int type = event->response_type & 0x7f;
            if (type == XCB_MAP_NOTIFY && window == XCB_WINDOW_NONE) {
                const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event.get());
                // Damage queued behind this event is read after the replies below, so none is missed.
                if (map->event == m_root && isProgramWindow(map->window, names)) {
                    window = map->window;
                    shown = geometry(window);
                }
            } else if (type == XCB_CONFIGURE_NOTIFY && window != XCB_WINDOW_NONE) {
                const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event.get());
                if (configure->window == window)
                    shown = {configure->x, configure->y, configure->width + 2 * configure->border_width,
                             configure->height + 2 * configure->border_width};
            } else if (type == m_damageNotify && window != XCB_WINDOW_NONE) {
                const auto* damage = reinterpret_cast<const xcb_damage_notify_event_t*>(event.get());
                if (shown.intersects(damage->area))
                    return millisecondsSince(start);
            }
        }
    }

    // The next event, or null once `deadline` has passed.
    xcb_generic_event_t* next(Clock::time_point deadline)
    {
        for (;;) {
            if (xcb_generic_event_t* event = xcb_poll_for_event(m_connection))
                return event;
            if (xcb_connection_has_error(m_connection))
                throw std::runtime_error("lost the connection to Xvfb");
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return nullptr;
            pollfd p {xcb_get_file_descriptor(m_connection), POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left));
        }
    }

    pid_t m_pid = -1;
    std::string m_display;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    uint8_t m_damageNotify = 0;
    xcb_atom_t m_netWmName = XCB_ATOM_NONE;
    xcb_atom_t m_windowType = XCB_ATOM_NONE;
    xcb_atom_t m_dialogType = XCB_ATOM_NONE;
};

// A program folder of the gadget's own, as a user has it: settings written, two resources on loopback.
fs::path makeProgramFolder()
{
    char pattern[] = "/tmp/corvane-bench-startup-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("no temporary folder");
    const fs::path folder(pattern);
    fs::copy_file(CORVANE_EXE, folder / "corvane");
    if (fs::exists(fs::path(CORVANE_PROGRAM_DIR) / "dog.wav"))
        fs::copy_file(fs::path(CORVANE_PROGRAM_DIR) / "dog.wav", folder / "dog.wav");
    fs::create_directory(folder / "list");
    std::ofstream(folder / "list" / "localhost.cvr", std::ios::binary) << "localhost\r\n1\r\n";
    std::ofstream(folder / "list" / "loopback.cvr", std::ios::binary) << "127.0.0.1\r\n1\r\n";
    // The shortest interval, so the idle figure comes after cycles have run.
    std::ofstream(folder / "corvane.ini", std::ios::binary) << "[Check]\r\nTimeCheck=1\r\n";
    return folder;
}

template<class T>
T median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main()
{
    fs::path folder;
    try {
        XServer x;
        folder = makeProgramFolder();
        const std::string gadget = (folder / "corvane").string();
        // The gadget's title changed over time; either is the gadget.
        const std::vector<std::string> gadgetNames {"Corvane", "Form1"};
        const std::vector<std::string> baselineNames {"corvane-bench-baseline"};

        // The first start of each reads the libraries from disk; the rounds after it compare warm starts.
        x.Measure(BASELINE_EXE, baselineNames);
        x.Measure(gadget, gadgetNames);
        std::vector<double> qtMs, corvaneMs;
        std::vector<long> qtKb, corvaneKb;
        for (int round = 0; round < Rounds; ++round) {
            const auto [ms, kb] = x.Measure(BASELINE_EXE, baselineNames);
            qtMs.push_back(ms);
            qtKb.push_back(kb);
            const auto [gms, gkb] = x.Measure(gadget, gadgetNames);
            corvaneMs.push_back(gms);
            corvaneKb.push_back(gkb);
        }
        fs::remove_all(folder);
        std::printf("first_frame_qt_ms %.1f\n", median(qtMs));
        std::printf("first_frame_corvane_ms %.1f\n", median(corvaneMs));
        std::printf("first_frame_ratio_vs_qt %.2f\n", median(corvaneMs) / median(qtMs));
        std::printf("idle_rss_qt_kb %ld\n", median(qtKb));
        std::printf("idle_rss_corvane_kb %ld\n", median(corvaneKb));
        std::printf("idle_rss_ratio_vs_qt %.2f\n", static_cast<double>(median(corvaneKb)) / median(qtKb));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_startup: %s\n", error.what());
        if (!folder.empty())
            fs::remove_all(folder);
        return 1;
    }
}
