#include "icmp/icmp_client.h"
#include "icmp/net_exceptions.h"
#include "icmp/ping_tool.h"
#include "platform/format.h"
#include "platform/version_block.h"
#include "tests/icmp/scripted_stack.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ToolRun
{
    int status;
    std::string out;
    std::string err;
};

// The tool on the scripted network's loop, or (without one) only as far as its options go.
ToolRun run(std::vector<std::string> args, ScriptedNetwork* network = nullptr)
{
    args.insert(args.begin(), "corvane-ping");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    std::ostringstream out, err;
    int status = 0;
    if (network) {
        ScriptedLoop loop(network->state());
        status = RunPingTool(static_cast<int>(argv.size()), argv.data(), out, err, loop,
                             [&loop](const std::function<bool()>& done) { loop.RunUntil(done); });
    } else {
        status = RunPingTool(static_cast<int>(argv.size()), argv.data(), out, err);
    }
    return {status, out.str(), err.str()};
}

// The real program as an ordinary user; its output and its error output each whole.
ToolRun runAsOrdinaryUser(const std::vector<std::string>& args)
{
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0)
        return {-1, "", "pipe failed"};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        std::vector<const char*> argv {"corvane-ping"};
        for (const auto& a : args)
            argv.push_back(a.c_str());
        argv.push_back(nullptr);
        if (::setgid(65534) == 0 && ::setuid(65534) == 0)
            ::execv(CORVANE_PROGRAM_DIR "/corvane-ping", const_cast<char* const*>(argv.data()));
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    ToolRun result {-1, "", ""};
    for (const auto& [fd, text] : {std::pair {out[0], &result.out}, std::pair {err[0], &result.err}}) {
        char buffer[512];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            text->append(buffer, static_cast<size_t>(n));
        ::close(fd);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

const std::string Usage
    = "usage: corvane-ping [-4|-6] [-c COUNT] [-W TIMEOUT_MS] [-i INTERVAL_MS] [-p PORT] [-q] HOST...\n";

// Every option, with its value in the same argument or the next one, and the ways to get them wrong.
TEST(PingToolTest, OptionsAsTheUsualToolsTakeThem)
{
    ScriptedNetwork network;
    const auto timedOut = [](int count, int timeMs) {
        return Format("--- 127.0.0.1 ---\n%d packet%s transmitted, 0 received, 100%% packet loss, time %dms\n", count,
                      count == 1 ? "" : "s", timeMs);
    };
    const struct
    {
        std::vector<std::string> args;
        int status;
        std::string out; // a leading part, when it ends in "..."
        std::string err;
    } cases[] = {
        {{"-c1", "-W", "10", "-q", "127.0.0.1"}, 1, timedOut(1, 10), ""},
        {{"127.0.0.1", "-qc", "2", "-W10", "-i5"}, 1, timedOut(2, 25), ""},
        {{"-c", "1", "-W", "10", "--", "127.0.0.1"}, 1, "Request timed out: icmp_seq=3489\n" + timedOut(1, 10), ""},
        {{"-h"}, 0, Usage + "...", ""},
        {{"--help", "127.0.0.1"}, 0, Usage + "...", ""},
        {{"--version"}, 0, "corvane-ping " + ProgramVersionText() + "\n", ""},
        {{}, 2, "", Usage + "..."},
        {{"h", "-x"}, 2, "", "corvane-ping: unknown option -x\n" + Usage + "..."},
        {{"-q4z", "h"}, 2, "", "corvane-ping: unknown option -z\n" + Usage + "..."},
        {{"--count=1", "h"}, 2, "", "corvane-ping: unknown option --count=1\n" + Usage + "..."},
        {{"h", "-c"}, 2, "", "corvane-ping: -c needs a number of at least 1\n"},
        {{"h", "-c0"}, 2, "", "corvane-ping: -c needs a number of at least 1\n"},
        {{"h", "-c", "zero"}, 2, "", "corvane-ping: -c needs a number of at least 1\n"},
        {{"h", "-W", "-99999999999"}, 2, "", "corvane-ping: -W needs a number of at least 0\n"},
        {{"h", "-W", "1x"}, 2, "", "corvane-ping: -W needs a number of at least 0\n"},
        // A value past the range is too large, not "no number".
        {{"h", "-W", "99999999999"}, 2, "", "corvane-ping: -W 99999999999 is too large (at most 2147483647)\n"},
        {{"h", "-W99999999999999999999999"},
         2,
         "",
         "corvane-ping: -W 99999999999999999999999 is too large (at most 2147483647)\n"},
        {{"h", "-i", "+2147483648"}, 2, "", "corvane-ping: -i +2147483648 is too large (at most 2147483647)\n"},
    };
    for (const auto& c : cases) {
        const ToolRun r = run(c.args, &network);
        std::string what;
        for (const auto& a : c.args)
            what += a + " ";
        EXPECT_EQ(r.status, c.status) << what;
        for (const auto& [got, wanted] : {std::pair {r.out, c.out}, std::pair {r.err, c.err}})
            if (wanted.ends_with("..."))
                EXPECT_TRUE(got.starts_with(wanted.substr(0, wanted.size() - 3))) << what << got;
            else
                EXPECT_EQ(got, wanted) << what;
    }

    // A flood is for root only, whatever capability the program file has.
    if (::geteuid() == 0) {
        const ToolRun flood = runAsOrdinaryUser({"-c", "1", "-i", "1", "127.0.0.1"});
        EXPECT_EQ(flood.status, 2);
        EXPECT_EQ(flood.err, "corvane-ping: -i 1: an interval below 2 ms is for root only\n");
        EXPECT_EQ(flood.out, "");
        EXPECT_EQ(run({"-c", "1", "-i", "0", "-W", "0", "127.0.0.1"}, &network).status, 1);
    } else {
        EXPECT_EQ(run({"-c", "1", "-i", "0", "127.0.0.1"}).status, 2);
    }
}

TEST(PingToolTest, ExitStatusFollowsTheAnswers)
{
    ScriptedNetwork network;
    network.Arrive(152, ScriptedNetwork::EchoReply(3490)); // during the second wait
    network.Arrive(160, ScriptedNetwork::ErrorAbout(11, 3491, {192, 168, 7, 1}));
    network.Arrive(252, ScriptedNetwork::EchoReply(3492));
    const ToolRun some = run({"127.0.0.1", "-c", "4", "-i", "2", "-W", "100"}, &network);
    EXPECT_EQ(some.status, 0);
    EXPECT_EQ(some.out,
              "Request timed out: icmp_seq=3489\n"
              "72 bytes from 127.0.0.1: icmp_seq=3490 ttl=64 time=50.0 ms\n"
              "From 192.168.7.1: icmp_seq=3491 Time to live exceeded\n"
              "72 bytes from 127.0.0.1: icmp_seq=3492 ttl=64 time=90.0 ms\n"
              "--- 127.0.0.1 ---\n4 packets transmitted, 2 received, +1 error, 50% packet loss, time 252ms\n"
              "rtt min/avg/max/mdev = 50.000/70.000/90.000/20.000 ms\n")
        << "the summary counts answers only";
}

// -p makes TCP connects of the same lines and summary: a listening port answers, a closed one refuses.
TEST(PingToolTest, PortConnectsReadLikeEchoes)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string port = std::to_string(ntohs(address.sin_port));
    const ToolRun open = run({"-c2", "-i2", "-p", port, "127.0.0.1"});
    EXPECT_EQ(open.status, 0) << open.err;
    EXPECT_TRUE(open.out.starts_with("Connected to 127.0.0.1: seq=1 time=")) << open.out;
    EXPECT_NE(open.out.find("\n--- 127.0.0.1 ---\n2 packets transmitted, 2 received, 0% packet loss"),
              std::string::npos)
        << open.out;
    ::close(listener);
    const ToolRun closed = run({"-c1", "-p" + port, "127.0.0.1"});
    EXPECT_EQ(closed.status, 1);
    EXPECT_TRUE(
        closed.out.starts_with("Connection refused: seq=1\n--- 127.0.0.1 ---\n1 packet transmitted, 0 received"))
        << closed.out;
    EXPECT_EQ(run({"-p", "65536", "127.0.0.1"}).status, 2);
}

// Several hosts side by side, each with its own numbers and summary; an error ends only its host's run,
// and its summary comes all the same once a request went out.
TEST(PingToolTest, SeveralHostsSideBySide)
{
    ScriptedNetwork network;
    network.state().hosts["router"] = {10, 0, 0, 1};
    network.Arrive(3, ScriptedNetwork::EchoReply(3489, 64, {10, 0, 0, 1}));
    network.Arrive(110, ScriptedNetwork::EchoReply(3490, 64, {10, 0, 0, 1}));
    const ToolRun several = run({"-c", "2", "-i", "100", "-W", "50", "router", "10.0.0.2", "no.such.host"}, &network);
    EXPECT_EQ(several.status, 2);
    EXPECT_EQ(several.out,
              "72 bytes from 10.0.0.1: icmp_seq=3489 ttl=64 time=3.00 ms\n"
              "Request timed out: icmp_seq=3489\n"
              "72 bytes from 10.0.0.1: icmp_seq=3490 ttl=64 time=7.00 ms\n"
              "Request timed out: icmp_seq=3490\n"
              "--- router ---\n2 packets transmitted, 2 received, 0% packet loss, time 110ms\n"
              "rtt min/avg/max/mdev = 3.000/5.000/7.000/2.000 ms\n"
              "--- 10.0.0.2 ---\n2 packets transmitted, 0 received, 100% packet loss, time 200ms\n");
    EXPECT_EQ(several.err, "no.such.host: Socket Error # 11001\nHost not found.\n");
    EXPECT_EQ(network.state().sent.size(), 4u);

    network.state().sendResult = -1;
    network.state().sendError = 10065;
    const ToolRun unrouted = run({"-c", "3", "10.0.0.3"}, &network);
    EXPECT_EQ(unrouted.status, 2);
    EXPECT_EQ(unrouted.out, "--- 10.0.0.3 ---\n1 packet transmitted, 0 received, 100% packet loss, time 0ms\n");
    EXPECT_EQ(unrouted.err, "Socket Error # 10065\nNo route to host.\n");

    network.state().refuseSockets = true;
    const ToolRun noSocket = run({"-c", "3", "127.0.0.1"}, &network);
    EXPECT_EQ(noSocket.status, 2);
    EXPECT_EQ(noSocket.out, "");
    EXPECT_TRUE(noSocket.err.starts_with("Cannot allocate socket.\ncorvane-ping: neither a raw ICMP socket nor an "
                                         "unprivileged one may be opened."))
        << noSocket.err;
    EXPECT_NE(noSocket.err.find("sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"\n"), std::string::npos);
    EXPECT_NE(noSocket.err.find("/etc/sysctl.d/"), std::string::npos);
    EXPECT_EQ(noSocket.err.find("cap"), std::string::npos) << "never a capability";
}

// A name's IPv4 address first, its IPv6 one when it has none; -4 and -6 take only their own family.
TEST(PingToolTest, FamilyOptionsChooseTheAddress)
{
    ScriptedNetwork network;
    network.state().hosts["both"] = {10, 0, 0, 1};
    network.state().hosts6["both"] = "2001:db8::1";
    network.state().hosts6["only6"] = "2001:db8::2";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>> {
             {"both", "-6"}, {"both", "-4"}, {"both"}, {"only6"}, {"localhost", "-6"}, {"fe80::1%lo"}}) {
        std::vector<std::string> quick = args;
        quick.insert(quick.end(), {"-c", "1", "-W", "0"});
        EXPECT_EQ(run(quick, &network).status, 1);
    }
    std::vector<std::string> sentTo;
    for (const TIpAddress& address : network.state().sentTo)
        sentTo.push_back(TSocketStack::IpAddressToText(address));
    EXPECT_EQ(sentTo,
              (std::vector<std::string> {"2001:db8::1", "10.0.0.1", "10.0.0.1", "2001:db8::2", "::1", "fe80::1%lo"}));
    EXPECT_EQ(network.state().lookups, 4) << "literals need no lookup";
    EXPECT_EQ(run({"only6", "-4"}, &network).err, "Socket Error # 11001\nHost not found.\n");
    EXPECT_EQ(run({"127.0.0.1", "-6"}, &network).err, "Socket Error # 11004\n");
    EXPECT_EQ(run({"::1", "-4"}, &network).err, "Socket Error # 11004\n");
}

// Real sockets on loopback: needs root for the raw socket, or a group in net.ipv4.ping_group_range.
TEST(LoopbackTest, LoopbackAnswersAtOnce)
{
    TIcmpClient client;
    client.SetHost("127.0.0.1");
    client.SetReceiveTimeout(1000);
    try {
        client.Ping();
    } catch (const ENetInvalidSocket&) {
        GTEST_SKIP() << "no raw socket and no unprivileged ICMP socket for this user";
    }
    const TReplyStatus& s = client.ReplyStatus();
    EXPECT_EQ(s.Outcome, roEchoReply);
    EXPECT_EQ(s.ByteCount, 72);
    EXPECT_EQ(s.SourceAddress, "127.0.0.1");
    EXPECT_EQ(s.SequenceNumber, 3489);
    EXPECT_LE(s.RoundTripMs, 1u);
    client.SetHost("localhost");
    client.Ping();
    EXPECT_EQ(client.ReplyStatus().SequenceNumber, 3490);
    EXPECT_EQ(client.ReplyStatus().Outcome, roEchoReply);
}

// Reads what `fd` gives until `enough` says so, the writer closes it, or `timeoutMs` pass.
std::string readFrom(int fd, int timeoutMs, const std::function<bool(const std::string&)>& enough)
{
    std::string text;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!enough(text)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd p {fd, POLLIN, 0};
        char buffer[256];
        ssize_t n = 0;
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0
            || (n = ::read(fd, buffer, sizeof buffer)) <= 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

// The real program into a pipe: each line shows when it happens, and Ctrl+C ends the run with its summary.
TEST(PingToolProgramTest, LinesComeAsTheyHappenAndCtrlCEndsWithTheSummary)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(fds[1], 1);
        ::dup2(fds[1], 2);
        ::execl(CORVANE_PROGRAM_DIR "/corvane-ping", "corvane-ping", "127.0.0.1", "-c", "100", "-i", "5000",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    const std::string first = readFrom(fds[0], 3000, [](const std::string& t) { return t.find('\n') != t.npos; });
    const auto interrupted = std::chrono::steady_clock::now();
    ::kill(child, SIGINT);
    const std::string rest = readFrom(fds[0], 3000, [](const std::string&) { return false; });
    ::close(fds[0]);
    int status = -1;
    ::waitpid(child, &status, 0);
    if (first.starts_with("Cannot allocate socket."))
        GTEST_SKIP() << "no raw socket and no unprivileged ICMP socket for this user";
    EXPECT_TRUE(first.starts_with("72 bytes from 127.0.0.1: icmp_seq=3489 ttl=")) << first;
    EXPECT_TRUE(rest.starts_with("--- 127.0.0.1 ---\n1 packet transmitted, 1 received, 0% packet loss, time ")) << rest;
    EXPECT_NE(rest.find("ms\nrtt min/avg/max/mdev = "), std::string::npos) << rest;
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, std::chrono::milliseconds(1000));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
