#include "icmp/icmp_client.h"
#include "icmp/net_exceptions.h"
#include "icmp/ping_tool.h"
#include "tests/icmp/scripted_stack.h"

#include <gtest/gtest.h>
#include <sstream>

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
    const ToolRun some = run({"127.0.0.1", "-c", "2", "-i", "0", "-W", "100"});
    EXPECT_EQ(some.status, 0);
    EXPECT_EQ(some.out,
              "0 bytes from 0.0.0.0: icmp_seq=3489 ttl=0 time=100 ms\n"
              "72 bytes from 127.0.0.1: icmp_seq=3490 ttl=64 time=50 ms\n"
              "--- 127.0.0.1 ---\n2 requests sent, 1 answered\n");
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

} // namespace
