#include "icmp/icmp_client.h"
#include "icmp/net_exceptions.h"
#include "icmp/ping_tool.h"
#include "tests/icmp/scripted_stack.h"

#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ToolRun
{
    int status;
    std::string out;
    std::string err;
};

ToolRun run(std::vector<std::string> args)
{
    args.insert(args.begin(), "corvane-ping");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    std::ostringstream out, err;
    const int status = RunPingTool(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

TEST(PingToolTest, ExitStatusFollowsTheAnswers)
{
    ScriptedNetwork network;
    network.Arrive(150, ScriptedNetwork::EchoReply(3490)); // during the second wait
    network.Arrive(160, ScriptedNetwork::ErrorAbout(11, 3491, {192, 168, 7, 1}));
    network.Arrive(250, ScriptedNetwork::EchoReply(3492));
    const ToolRun some = run({"127.0.0.1", "-c", "4", "-i", "0", "-W", "100"});
    EXPECT_EQ(some.status, 0);
    EXPECT_EQ(some.out,
              "Request timed out: icmp_seq=3489\n"
              "72 bytes from 127.0.0.1: icmp_seq=3490 ttl=64 time=50.0 ms\n"
              "From 192.168.7.1: icmp_seq=3491 Time to live exceeded\n"
              "72 bytes from 127.0.0.1: icmp_seq=3492 ttl=64 time=90.0 ms\n"
              "--- 127.0.0.1 ---\n4 requests sent, 2 answered\n"
              "rtt min/avg/max/mdev = 50.000/70.000/90.000/20.000 ms\n")
        << "the summary counts answers only";
    const ToolRun none = run({"127.0.0.1", "-c", "1", "-W", "10", "-q"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "--- 127.0.0.1 ---\n1 requests sent, 0 answered\n");
}

TEST(PingToolTest, ErrorsGoToStandardErrorWithStatusTwo)
{
    ScriptedNetwork network;
    const ToolRun failed = run({"no.such.host", "-c", "1"});
    EXPECT_EQ(failed.status, 2);
    EXPECT_EQ(failed.err, "Socket Error # 11001\nHost not found.\n");
    EXPECT_EQ(run({}).status, 2);
    EXPECT_EQ(run({"h", "-c", "zero"}).status, 2);
    EXPECT_EQ(run({"h", "-x"}).status, 2);
    EXPECT_EQ(run({"h", "-c", "0"}).status, 2);

    // A value past the range is too large, not "no number".
    for (const char* huge : {"99999999999", "99999999999999999999999", "+2147483648"}) {
        const ToolRun large = run({"h", "-W", huge});
        EXPECT_EQ(large.status, 2);
        EXPECT_EQ(large.err, "corvane-ping: -W " + std::string(huge) + " is too large (at most 2147483647)\n");
    }
    EXPECT_EQ(run({"h", "-W", "-99999999999"}).err, "corvane-ping: -W needs a number of at least 0\n");
    EXPECT_EQ(run({"h", "-W", "1x"}).err, "corvane-ping: -W needs a number of at least 0\n");
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
        EXPECT_EQ(run(quick).status, 1);
    }
    std::vector<std::string> sentTo;
    for (const TIpAddress& address : network.state().sentTo)
        sentTo.push_back(TSocketStack::IpAddressToText(address));
    EXPECT_EQ(sentTo,
              (std::vector<std::string> {"2001:db8::1", "10.0.0.1", "10.0.0.1", "2001:db8::2", "::1", "fe80::1%lo"}));
    EXPECT_EQ(network.state().lookups, 4) << "literals need no lookup";
    EXPECT_EQ(run({"only6", "-4"}).err, "Socket Error # 11001\nHost not found.\n");
    EXPECT_EQ(run({"127.0.0.1", "-6"}).err, "Socket Error # 11004\n");
    EXPECT_EQ(run({"::1", "-4"}).err, "Socket Error # 11004\n");
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
    EXPECT_TRUE(rest.starts_with("--- 127.0.0.1 ---\n1 requests sent, 1 answered\nrtt min/avg/max/mdev = ")) << rest;
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, std::chrono::milliseconds(1000));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
