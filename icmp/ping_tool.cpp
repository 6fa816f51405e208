#include "icmp/ping_tool.h"

#include "icmp/echo_engine.h"
#include "icmp/icmp_client.h"
#include "icmp/millisecond_clock.h"
#include "icmp/name_resolver.h"
#include "icmp/net_exceptions.h"
#include "icmp/poll_event_loop.h"
#include "icmp/socket_stack_posix.h"
#include "platform/format.h"
#include "platform/int_conversion.h"
#include "platform/version_block.h"
#include "probes/tcp_probe.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <limits>
#include <optional>
#include <ostream>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// The tool's own words, together so that a translation can take them over one day; the socket errors
// bring their own texts. English, as the tool has always spoken.
namespace Text {

const char* const Usage
    = "usage: corvane-ping [-4|-6] [-c COUNT] [-W TIMEOUT_MS] [-i INTERVAL_MS] [-p PORT] [-q] HOST...\n"
      "  -4, -6          ping over IPv4 only, or IPv6 only (default: a name's IPv4\n"
      "                  address, its IPv6 one when it has none)\n"
      "  -c COUNT        echo requests to send to each host (default 4)\n"
      "  -W TIMEOUT_MS   longest wait for each answer (default 1000)\n"
      "  -i INTERVAL_MS  pause between requests (default 1000; 0 sends back to back;\n"
      "                  below 2 for root only)\n"
      "  -p PORT         connect to this TCP port instead of sending echo requests\n"
      "  -q              print only the summary\n"
      "  -h, --help      print this text\n"
      "  --version       print the version\n";
const char* const Version = "corvane-ping %s\n";
const char* const UnknownOption = "corvane-ping: unknown option %s\n";
const char* const TooLarge = "corvane-ping: %s %s is too large (at most %d)\n";
const char* const NeedsNumber = "corvane-ping: %s needs a number of at least %d\n";
const char* const FloodRefused = "corvane-ping: -i %d: an interval below 2 ms is for root only\n";
const char* const HostsError = "%s: %s"; // with several hosts, whose error it is
const char* const NoSocketHint
    = "corvane-ping: neither a raw ICMP socket nor an unprivileged one may be opened.\n"
      "The kernel gives unprivileged ICMP sockets to the groups in net.ipv4.ping_group_range. To let\n"
      "every group have them:\n"
      "    sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"\n"
      "and to keep that after a restart, a file in /etc/sysctl.d/ that says so:\n"
      "    echo 'net.ipv4.ping_group_range = 0 2147483647' | sudo tee /etc/sysctl.d/60-ping-group-range.conf\n";
const char* const TimedOut = "Request timed out: icmp_seq=%d";
const char* const Unreachable = "From %s: icmp_seq=%d Destination unreachable";
const char* const TtlExceeded = "From %s: icmp_seq=%d Time to live exceeded";
const char* const Reply = "%d bytes from %s: icmp_seq=%d ttl=%d time=%s ms";
const char* const Connected = "Connected to %s: seq=%d time=%s ms";
const char* const Refused = "Connection refused: seq=%d";
const char* const ConnectTimedOut = "Timed out: seq=%d";
const char* const PortRange = "corvane-ping: -p needs a port from 1 to 65535\n";
const char* const SummaryTitle = "--- %s ---\n";
// One, then more.
const char* const Transmitted[2] = {"%d packet transmitted", "%d packets transmitted"};
const char* const Received = ", %d received";
const char* const Errors[2] = {", +%d error", ", +%d errors"};
const char* const Loss = ", %g%% packet loss, time %ums\n";
const char* const RoundTrips = "rtt min/avg/max/mdev = %.3f/%.3f/%.3f/%.3f ms\n";

} // namespace Text

std::atomic<bool> s_interrupted {false};
std::atomic<TPollEventLoop*> s_wakeOnInterrupt {nullptr};

extern "C" void onInterrupt(int)
{
    s_interrupted = true;
    if (TPollEventLoop* loop = s_wakeOnInterrupt)
        loop->WakeUp();
}

// Ctrl+C ends the run with its summary rather than the process, while the tool runs.
class InterruptCatcher final
{
public:
    InterruptCatcher()
    {
        s_interrupted = false;
        struct sigaction action = {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &m_previous);
    }
    ~InterruptCatcher() { ::sigaction(SIGINT, &m_previous, nullptr); }
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

private:
    struct sigaction m_previous = {};
};

struct Options
{
    std::vector<std::string> hosts;
    int32_t count = 4;
    int32_t timeoutMs = 1000;
    int32_t intervalMs = 1000;
    bool quiet = false;
    std::optional<TIpFamily> family;
    int32_t port = 0; // a TCP port to connect to instead of echoes; 0 for echoes
};

// A number past the 32-bit range, even past 64 bits, rather than something that is no number at all.
bool isTooLarge(std::string_view text)
{
    int64_t value = 0;
    if (TryParseInteger(text, value))
        return value > std::numeric_limits<int32_t>::max();
    const size_t digits = text.find_first_not_of(' ');
    if (digits == std::string_view::npos)
        return false;
    text.remove_prefix(text[digits] == '+' ? digits + 1 : digits);
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Options as the usual tools take them: letters may be grouped ("-qc1"), and a value follows its letter
// in the same argument or in the next one. Nothing when the tool is to run; its exit status otherwise.
std::optional<int> parse(int argc, char** argv, Options& options, std::ostream& out, std::ostream& err)
{
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            options.hosts.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        if (arg == "--help") {
            out << Text::Usage;
            return 0;
        } else if (arg == "--version") {
            out << Format(Text::Version, ProgramVersionText().c_str());
            return 0;
        } else if (arg.starts_with("--")) {
            err << Format(Text::UnknownOption, std::string(arg).c_str()) << Text::Usage;
            return 2;
        }
        for (size_t k = 1; k < arg.size(); ++k) {
            const char letter = arg[k];
            int32_t* const target = letter == 'c' ? &options.count
                : letter == 'W'                   ? &options.timeoutMs
                : letter == 'i'                   ? &options.intervalMs
                : letter == 'p'                   ? &options.port
                                                  : nullptr;
            const std::string name {'-', letter};
            if (target) {
                const int32_t minimum = letter == 'c' || letter == 'p' ? 1 : 0;
                const bool attached = k + 1 < arg.size();
                const bool given = attached || i + 1 < argc;
                const std::string value = attached ? std::string(arg.substr(k + 1)) : given ? argv[++i] : "";
                if (given && isTooLarge(value)) {
                    err << Format(Text::TooLarge, name.c_str(), value.c_str(), std::numeric_limits<int32_t>::max());
                    return 2;
                }
                if (!given || !TryStrToInt(value, *target) || *target < minimum) {
                    err << Format(Text::NeedsNumber, name.c_str(), minimum);
                    return 2;
                }
                break;
            }
            if (letter == '4' || letter == '6') {
                options.family = letter == '4' ? TIpFamily::IPv4 : TIpFamily::IPv6;
            } else if (letter == 'q') {
                options.quiet = true;
            } else if (letter == 'h') {
                out << Text::Usage;
                return 0;
            } else {
                err << Format(Text::UnknownOption, name.c_str()) << Text::Usage;
                return 2;
            }
        }
    }
    if (options.hosts.empty()) {
        err << Text::Usage;
        return 2;
    }
    if (options.port > 65535) {
        err << Text::PortRange;
        return 2;
    }
    // A flood is for root: the tool carries cap_net_raw for everyone, so the capability says nothing here.
    if (options.intervalMs < 2 && ::geteuid() != 0) {
        err << Format(Text::FloodRefused, options.intervalMs);
        return 2;
    }
    return std::nullopt;
}

// An error text as lines of a terminal: no carriage returns, and no empty last line for a number without
// a text of its own.
std::string asLines(std::string text)
{
    std::erase(text, '\r');
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

// Three figures of the measured time, as a terminal reader expects them.
std::string timeText(uint32_t microseconds)
{
    const double ms = microseconds / 1000.0;
    return ms >= 99.95 ? Format("%.0f", ms)
        : ms >= 9.995  ? Format("%.1f", ms)
        : ms >= 0.9995 ? Format("%.2f", ms)
                       : Format("%.3f", ms);
}

// What one exchange came to, in the words of the usual ping tools.
std::string outcomeLine(const TReplyStatus& status)
{
    const int sequence = status.SequenceNumber;
    switch (status.Outcome) {
    case roTimeOut:
        return Format(Text::TimedOut, sequence);
    case roUnreachable:
        return Format(Text::Unreachable, status.SourceAddress.c_str(), sequence);
    case roTtlExpired:
        return Format(Text::TtlExceeded, status.SourceAddress.c_str(), sequence);
    default:
        return Format(Text::Reply, status.ByteCount, status.SourceAddress.c_str(), sequence, status.Ttl,
                      timeText(status.RoundTripUs).c_str());
    }
}

// What one connect came to.
std::string connectLine(const TConnectOutcome& outcome, const TIpAddress& address, int sequence)
{
    switch (outcome.Kind) {
    case TConnectOutcome::TKind::Connected:
        return Format(Text::Connected, TSocketStack::IpAddressToText(address).c_str(), sequence,
                      timeText(outcome.RoundTripUs).c_str());
    case TConnectOutcome::TKind::Refused:
        return Format(Text::Refused, sequence);
    default:
        return Format(Text::ConnectTimedOut, sequence);
    }
}

// Round trips of the answers, summed as they come.
class RoundTrips final
{
public:
    void Add(uint32_t microseconds)
    {
        const double ms = microseconds / 1000.0;
        m_min = m_count ? std::min(m_min, ms) : ms;
        m_max = std::max(m_max, ms);
        m_sum += ms;
        m_squares += ms * ms;
        ++m_count;
    }

    // The min/avg/max/mdev line, where mdev is the standard deviation; nothing before an answer.
    std::string Summary() const
    {
        if (m_count == 0)
            return std::string();
        const double average = m_sum / m_count;
        // Rounding can take the difference a hair below zero for equal times.
        const double deviation = std::sqrt(std::max(0.0, m_squares / m_count - average * average));
        return Format(Text::RoundTrips, m_min, average, m_max, deviation);
    }

private:
    int m_count = 0;
    double m_min = 0;
    double m_max = 0;
    double m_sum = 0;
    double m_squares = 0;
};

// One host's run: its requests one after another, each `interval` after the previous one was answered.
struct HostRun
{
    std::string name;
    std::optional<TIpAddress> address;
    uint16_t sequence = TIcmpClient::FirstSequence;
    int exchanges = 0;
    int transmitted = 0;
    int received = 0;
    int errors = 0;
    RoundTrips roundTrips;
    std::optional<uint32_t> startedMs;
    uint32_t endedMs = 0;
    bool finished = false;
    bool failed = false;
};

// Every host side by side, through one engine.
class PingRun final
{
public:
    PingRun(const Options& options, TEventLoop& loop, std::ostream& out, std::ostream& err)
        : m_options(options)
        , m_loop(loop)
        , m_out(out)
        , m_err(err)
        , m_resolver(loop)
        , m_engine(loop)
        , m_tcp(loop)
        , m_hosts(options.hosts.size())
    {
        for (size_t i = 0; i < m_hosts.size(); ++i)
            m_hosts[i].name = options.hosts[i];
    }

    void Start()
    {
        for (HostRun& host : m_hosts)
            m_resolver.Resolve(host.name, m_options.family, [this, &host](const TResolved& resolved) {
                if (resolved.Error)
                    return fail(host, resolved.Error);
                host.address = resolved.Address;
                send(host);
            });
    }

    bool Finished() const { return m_finished == m_hosts.size(); }

    // The summaries, of every host that sent a request or was not stopped by an error; the exit status.
    int Summarise()
    {
        int status = 0;
        for (HostRun& host : m_hosts) {
            if (!host.finished)
                host.endedMs = MillisecondClock();
            status = std::max(status, host.failed ? 2 : host.received > 0 ? 0 : 1);
            if (host.failed && host.transmitted == 0)
                continue;
            const int lost = host.transmitted - host.received;
            m_out << Format(Text::SummaryTitle, host.name.c_str())
                  << Format(Text::Transmitted[host.transmitted != 1], host.transmitted)
                  << Format(Text::Received, host.received)
                  << (host.errors ? Format(Text::Errors[host.errors != 1], host.errors) : std::string())
                  << Format(Text::Loss, host.transmitted ? lost * 100.0 / host.transmitted : 0.0,
                            host.startedMs ? TickDiff(*host.startedMs, host.endedMs) : 0u)
                  << host.roundTrips.Summary();
        }
        m_out.flush();
        return status;
    }

private:
    void send(HostRun& host)
    {
        if (!host.startedMs)
            host.startedMs = MillisecondClock();
        ++host.transmitted;
        if (m_options.port != 0) {
            m_tcp.Connect(*host.address, static_cast<uint16_t>(m_options.port), m_options.timeoutMs,
                          [this, &host](const TConnectOutcome& outcome) { connected(host, outcome); });
            return;
        }
        m_engine.Send({*host.address, host.sequence, m_options.timeoutMs, {}},
                      [this, &host](const TEchoOutcome& outcome) { took(host, outcome); });
    }

    void took(HostRun& host, const TEchoOutcome& outcome)
    {
        host.endedMs = MillisecondClock();
        if (outcome.Error)
            return fail(host, outcome.Error);
        const TReplyStatus& status = outcome.Status;
        if (status.Outcome == roEchoReply) {
            ++host.received;
            host.roundTrips.Add(status.RoundTripUs);
        } else if (status.Outcome != roTimeOut) {
            ++host.errors;
        }
        // Line by line, also into a pipe: whoever reads it follows the run as it goes.
        if (!m_options.quiet)
            m_out << outcomeLine(status) << std::endl;
        ++host.sequence;
        next(host);
    }

    void connected(HostRun& host, const TConnectOutcome& outcome)
    {
        host.endedMs = MillisecondClock();
        // No route, an unreachable network: as a failed send of an echo request, it ends the run.
        if (outcome.Kind == TConnectOutcome::TKind::Failed) {
            TSocketStackPosix stack;
            return fail(host,
                        std::make_exception_ptr(
                            ENetSocketError(outcome.ErrorNumber, stack.SocketErrorText(outcome.ErrorNumber))));
        }
        if (outcome.Kind == TConnectOutcome::TKind::Connected) {
            ++host.received;
            host.roundTrips.Add(outcome.RoundTripUs);
        }
        // Connects have no sequence on the wire: they are counted from one.
        if (!m_options.quiet)
            m_out << connectLine(outcome, *host.address, host.exchanges + 1) << std::endl;
        next(host);
    }

    void next(HostRun& host)
    {
        if (++host.exchanges == m_options.count)
            return finish(host);
        if (m_options.intervalMs == 0)
            return send(host);
        m_loop.StartTimer(std::chrono::milliseconds(m_options.intervalMs), [this, &host] { send(host); });
    }

    // An error ends the host's run; the others go on.
    void fail(HostRun& host, const std::exception_ptr& error)
    {
        std::string text;
        bool noSocket = false;
        try {
            std::rethrow_exception(error);
        } catch (const ENetInvalidSocket& e) {
            // Nothing went out.
            --host.transmitted;
            noSocket = true;
            text = e.what();
        } catch (const std::exception& e) {
            text = e.what();
        }
        m_out.flush();
        text = asLines(text);
        m_err << (m_hosts.size() > 1 ? Format(Text::HostsError, host.name.c_str(), text.c_str()) : text) << '\n';
        if (noSocket && !m_hinted) {
            m_err << Text::NoSocketHint;
            m_hinted = true;
        }
        host.failed = true;
        finish(host);
    }

    void finish(HostRun& host)
    {
        host.finished = true;
        ++m_finished;
    }

    const Options& m_options;
    TEventLoop& m_loop;
    std::ostream& m_out;
    std::ostream& m_err;
    TNameResolver m_resolver;
    TEchoEngine m_engine;
    TTcpProbe m_tcp;
    std::vector<HostRun> m_hosts; // never resized: the callbacks hold references
    size_t m_finished = 0;
    bool m_hinted = false;
};

} // namespace

int RunPingTool(int argc, char** argv, std::ostream& out, std::ostream& err, TEventLoop& loop,
                const TRunLoopUntil& runUntil)
{
    Options options;
    if (const std::optional<int> status = parse(argc, argv, options, out, err))
        return *status;
    const InterruptCatcher catcher;
    try {
        PingRun run(options, loop, out, err);
        run.Start();
        runUntil([&] { return run.Finished() || s_interrupted; });
        return run.Summarise();
    } catch (const std::exception& error) {
        out.flush();
        err << asLines(error.what()) << '\n';
        return 2;
    }
}

int RunPingTool(int argc, char** argv, std::ostream& out, std::ostream& err)
{
    try {
        TPollEventLoop loop;
        s_wakeOnInterrupt = &loop;
        const int status = RunPingTool(argc, argv, out, err, loop,
                                       [&loop](const std::function<bool()>& done) { loop.RunUntil(done); });
        s_wakeOnInterrupt = nullptr;
        return status;
    } catch (const std::exception& error) {
        s_wakeOnInterrupt = nullptr;
        err << asLines(error.what()) << '\n';
        return 2;
    }
}
