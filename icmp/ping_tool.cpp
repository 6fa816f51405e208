#include "icmp/ping_tool.h"

#include "icmp/icmp_client.h"
#include "platform/exception.h"
#include "platform/format.h"
#include "platform/int_conversion.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <limits>
#include <optional>
#include <ostream>
#include <string_view>
#include <thread>

namespace {

volatile std::sig_atomic_t s_interrupted = 0;

extern "C" void onInterrupt(int)
{
    s_interrupted = 1;
}

// Ctrl+C ends the run with its summary rather than the process, while the tool runs.
class InterruptCatcher final
{
public:
    InterruptCatcher()
    {
        s_interrupted = 0;
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

// Thrown from the client's wait hook once Ctrl+C was pressed.
struct TInterrupted
{
};

void stopIfInterrupted()
{
    if (s_interrupted)
        throw TInterrupted();
}

// The pause between requests, in slices, so that Ctrl+C ends it at once.
void pauseBetweenRequests(int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
        stopIfInterrupted();
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(WaitSliceMs)));
    }
    stopIfInterrupted();
}

const char* const Usage = "usage: corvane-ping HOST [-4|-6] [-c COUNT] [-W TIMEOUT_MS] [-i INTERVAL_MS] [-q]\n"
                          "  -4, -6          ping over IPv4 only, or IPv6 only (default: a name's IPv4\n"
                          "                  address, its IPv6 one when it has none)\n"
                          "  -c COUNT        echo requests to send (default 4)\n"
                          "  -W TIMEOUT_MS   longest wait for each answer (default 1000)\n"
                          "  -i INTERVAL_MS  pause between requests (default 1000; 0 sends back to back)\n"
                          "  -q              print only the summary\n";

struct Options
{
    std::string host;
    int32_t count = 4;
    int32_t timeoutMs = 1000;
    int32_t intervalMs = 1000;
    bool quiet = false;
    std::optional<TIpFamily> family;
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

bool parse(int argc, char** argv, Options& options, std::ostream& err)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto number = [&](int32_t& target, int32_t minimum) {
            if (i + 1 < argc && isTooLarge(argv[i + 1])) {
                err << "corvane-ping: " << arg << " " << argv[i + 1] << " is too large (at most "
                    << std::numeric_limits<int32_t>::max() << ")\n";
                return false;
            }
            if (i + 1 >= argc || !TryStrToInt(argv[i + 1], target) || target < minimum) {
                err << "corvane-ping: " << arg << " needs a number of at least " << minimum << "\n";
                return false;
            }
            ++i;
            return true;
        };
        if (arg == "-c") {
            if (!number(options.count, 1))
                return false;
        } else if (arg == "-W") {
            if (!number(options.timeoutMs, 0))
                return false;
        } else if (arg == "-i") {
            if (!number(options.intervalMs, 0))
                return false;
        } else if (arg == "-4" || arg == "-6") {
            options.family = arg == "-4" ? TIpFamily::IPv4 : TIpFamily::IPv6;
        } else if (arg == "-q") {
            options.quiet = true;
        } else if (arg == "-h" || arg == "--help") {
            err << Usage;
            return false;
        } else if (!arg.empty() && arg[0] == '-') {
            err << "corvane-ping: unknown option " << arg << "\n" << Usage;
            return false;
        } else if (options.host.empty()) {
            options.host = arg;
        } else {
            err << Usage;
            return false;
        }
    }
    if (options.host.empty()) {
        err << Usage;
        return false;
    }
    return true;
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

// What one exchange came to, in the words of the usual ping tools; the reply line as the pinger's for answers.
std::string outcomeLine(const TReplyStatus& status)
{
    const std::string sequence = "icmp_seq=" + std::to_string(status.SequenceNumber);
    switch (status.Outcome) {
    case roTimeOut:
        return "Request timed out: " + sequence;
    case roUnreachable:
        return "From " + status.SourceAddress + ": " + sequence + " Destination unreachable";
    case roTtlExpired:
        return "From " + status.SourceAddress + ": " + sequence + " Time to live exceeded";
    default:
        // The pinger's line counts whole milliseconds of a coarse clock, which can read 1 ms for a 50 us
        // answer beside a summary that says 0.050; a terminal gets the measured time, three figures.
        const double ms = status.RoundTripUs / 1000.0;
        const std::string time = ms >= 99.95 ? Format("%.0f", ms)
            : ms >= 9.995                    ? Format("%.1f", ms)
            : ms >= 0.9995                   ? Format("%.2f", ms)
                                             : Format("%.3f", ms);
        return Format("%d bytes from %s: %s ttl=%d time=%s ms", status.ByteCount, status.SourceAddress.c_str(),
                      sequence.c_str(), status.Ttl, time.c_str());
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

    // "rtt min/avg/max/mdev = a/b/c/d ms", where mdev is the standard deviation; nothing before an answer.
    std::string Summary() const
    {
        if (m_count == 0)
            return std::string();
        const double average = m_sum / m_count;
        // Rounding can take the difference a hair below zero for equal times.
        const double deviation = std::sqrt(std::max(0.0, m_squares / m_count - average * average));
        return Format("rtt min/avg/max/mdev = %.3f/%.3f/%.3f/%.3f ms\n", m_min, average, m_max, deviation);
    }

private:
    int m_count = 0;
    double m_min = 0;
    double m_max = 0;
    double m_sum = 0;
    double m_squares = 0;
};

} // namespace

int RunPingTool(int argc, char** argv, std::ostream& out, std::ostream& err)
{
    Options options;
    if (!parse(argc, argv, options, err))
        return 2;
    const InterruptCatcher catcher;
    int received = 0;
    int sent = 0;
    RoundTrips roundTrips;
    try {
        TIcmpClient client;
        client.SetHost(options.host);
        client.SetReceiveTimeout(options.timeoutMs);
        client.SetAddressFamily(options.family);
        client.OnReply = [&](TIcmpClient&, const TReplyStatus& status) {
            if (status.Outcome == roEchoReply) {
                ++received;
                roundTrips.Add(status.RoundTripUs);
            }
            // Line by line, also into a pipe: whoever reads it follows the run as it goes.
            if (!options.quiet)
                out << outcomeLine(status) << std::endl;
        };
        client.OnWait = stopIfInterrupted;
        try {
            for (int i = 0; i < options.count; ++i) {
                if (i > 0 && options.intervalMs > 0)
                    pauseBetweenRequests(options.intervalMs);
                stopIfInterrupted();
                client.Ping();
                ++sent;
            }
        } catch (const TInterrupted&) {
            // The socket is open only while a request that went out waits for its answer.
            if (client.Socket().IsOpen())
                ++sent;
        }
    } catch (const std::exception& error) {
        out.flush();
        err << asLines(error.what()) << '\n';
        return 2;
    }
    out << "--- " << options.host << " ---\n"
        << sent << " requests sent, " << received << " answered\n"
        << roundTrips.Summary();
    out.flush();
    return received > 0 ? 0 : 1;
}
