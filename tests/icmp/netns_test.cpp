// The echo engine against hosts of the test's own network namespace (see scripts/run-isolated).
#include "icmp/echo_engine.h"
#include "icmp/icmp_client.h"
#include "icmp/name_resolver.h"
#include "icmp/net_component.h"
#include "icmp/net_exceptions.h"
#include "icmp/poll_event_loop.h"
#include "tests/support/fake_host.h"
#include "tests/support/ipv6_hosts.h"
#include "tests/support/silent_resolver.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

bool isolated()
{
    return std::getenv("CORVANE_ISOLATED") && ::geteuid() == 0;
}

#define REQUIRE_ISOLATION()                                                                                            \
    if (!isolated())                                                                                                   \
    GTEST_SKIP() << "needs root inside scripts/run-isolated (CTest runs it that way)"

struct Exchange
{
    TReplyStatus status;
    std::string error;
    long elapsedMs = 0;
};

Exchange ping(const std::string& host, int timeoutMs = 1000)
{
    Exchange e;
    TIcmpClient client;
    client.SetHost(host);
    client.SetReceiveTimeout(timeoutMs);
    const auto start = Clock::now();
    try {
        client.Ping();
        e.status = client.ReplyStatus();
    } catch (const std::exception& error) {
        e.error = error.what();
    }
    e.elapsedMs
        = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    return e;
}

class FakeHostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_ISOLATION();
        host = std::make_unique<FakeHost>();
        if (!host->Ready())
            GTEST_SKIP() << host->Error();
    }
    std::unique_ptr<FakeHost> host;
};

TEST(IsolatedNetworkTest, UnknownNameIsHostNotFound)
{
    REQUIRE_ISOLATION();
    const Exchange e = ping("no-such-host.invalid");
    EXPECT_EQ(e.error, "Socket Error # 11001\r\nHost not found.");
}

TEST_F(FakeHostTest, AnswerAfterADelay)
{
    host->Set("10.77.0.2", {FakeHost::Answer::EchoReply, 300});
    const Exchange e = ping("10.77.0.2");
    ASSERT_EQ(e.error, "");
    EXPECT_EQ(e.status.Outcome, roEchoReply);
    EXPECT_EQ(e.status.SourceAddress, "10.77.0.2");
    EXPECT_EQ(e.status.ByteCount, 72);
    EXPECT_EQ(e.status.Ttl, 64);
    EXPECT_GE(e.status.RoundTripMs, 290u);
    EXPECT_LE(e.status.RoundTripMs, 600u);
}

TEST_F(FakeHostTest, SilentHostTimesOutAfterTheBudget)
{
    host->Set("10.77.0.3", {FakeHost::Answer::Silence});
    const Exchange e = ping("10.77.0.3");
    ASSERT_EQ(e.error, "");
    EXPECT_EQ(e.status.Outcome, roTimeOut);
    EXPECT_EQ(e.status.SourceAddress, "0.0.0.0");
    EXPECT_EQ(e.status.SequenceNumber, 3489);
    EXPECT_GE(e.elapsedMs, 950);
    EXPECT_LE(e.elapsedMs, 1500);
    EXPECT_EQ(host->RequestsSeen("10.77.0.3"), 1);
}

TEST_F(FakeHostTest, ForeignReplyIsSkippedAndTheRealOneTaken)
{
    host->Set("10.77.0.4", {FakeHost::Answer::ForeignThenReply, 200});
    const Exchange e = ping("10.77.0.4");
    ASSERT_EQ(e.error, "");
    EXPECT_EQ(e.status.Outcome, roEchoReply);
    EXPECT_GE(e.status.RoundTripMs, 190u);
}

// A raw socket sees every ICMP message of the machine: another program's pings must not keep the wait
// from handing control back.
TEST_F(FakeHostTest, ForeignIcmpDoesNotHoldTheWaitHookBack)
{
    host->Set("10.77.0.7", {FakeHost::Answer::Silence});
    host->Spray({"10.77.0.99", "127.0.0.1"}, 1000);
    TIcmpClient client;
    client.SetHost("10.77.0.7");
    client.SetReceiveTimeout(1000);
    std::vector<Clock::time_point> calls {Clock::now()};
    client.OnWait = [&] { calls.push_back(Clock::now()); };
    client.Ping();
    calls.push_back(Clock::now());
    EXPECT_EQ(client.ReplyStatus().Outcome, roTimeOut);
    long longest = 0;
    for (size_t i = 1; i < calls.size(); ++i)
        longest = std::max(
            longest,
            static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(calls[i] - calls[i - 1]).count()));
    // Loose bounds, for a loaded machine: without a call per slice it was 3 calls, 870 ms apart.
    EXPECT_GE(calls.size(), 1000u / WaitSliceMs / 2) << "a call every slice";
    EXPECT_LE(longest, 250) << "the longest the caller went without its hook";
}

TEST_F(FakeHostTest, RoutersReportAboutOurRequest)
{
    host->Set("10.77.0.5", {FakeHost::Answer::TimeExceeded, 0, 1, "10.77.0.254"});
    Exchange e = ping("10.77.0.5");
    ASSERT_EQ(e.error, "");
    EXPECT_EQ(e.status.Outcome, roTtlExpired);
    EXPECT_EQ(e.status.SourceAddress, "10.77.0.254");
    EXPECT_EQ(e.status.IcmpType, 11);
    host->Set("10.77.0.6", {FakeHost::Answer::Unreachable, 0, 1, "10.77.0.253"});
    e = ping("10.77.0.6");
    ASSERT_EQ(e.error, "");
    EXPECT_EQ(e.status.Outcome, roUnreachable);
    EXPECT_EQ(e.status.SourceAddress, "10.77.0.253");
}

TEST(IsolatedNetworkTest, DroppedBeforeDeliveryTimesOut)
{
    REQUIRE_ISOLATION();
    if (std::system("command -v nft >/dev/null") != 0)
        GTEST_SKIP() << "nft is not installed";
    ASSERT_EQ(std::system("nft add table inet cvtest && nft add chain inet cvtest input '{ type filter hook input "
                          "priority 0; }' && nft add rule inet cvtest input ip daddr 127.0.0.5 icmp type "
                          "echo-request drop"),
              0);
    const Exchange e = ping("127.0.0.5");
    std::system("nft delete table inet cvtest");
    ASSERT_EQ(e.error, "");
    EXPECT_EQ(e.status.Outcome, roTimeOut);
    EXPECT_GE(e.elapsedMs, 950);
}

// Runs `body` as an ordinary user in a child process and returns what it wrote.
std::string asOrdinaryUser(const std::function<std::string()>& body)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        std::string result;
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            result = "cannot drop privileges";
        else
            result = body();
        if (::write(fds[1], result.data(), result.size()) < 0) { }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string out;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    return out;
}

void setPingGroupRange(const char* range)
{
    std::ofstream("/proc/sys/net/ipv4/ping_group_range") << range;
}

std::string describe(const Exchange& e)
{
    if (!e.error.empty())
        return e.error;
    return std::to_string(e.status.Outcome) + " " + std::to_string(e.status.ByteCount) + " " + e.status.SourceAddress
        + " " + std::to_string(e.status.IcmpType) + " " + std::to_string(e.status.SequenceNumber) + " "
        + std::to_string(e.status.Ttl);
}

// Only our request's answer counts, on both socket paths: not a late answer to the host pinged before
// (a new client reuses the identifier and sequence, a new datagram socket may reuse the old one's), not
// a message of another type, not a reply with another identifier.
TEST_F(FakeHostTest, OnlyTheAnswerToOurRequestIsTaken)
{
    setPingGroupRange("0 2147483647");
    host->Set("10.77.0.11", {FakeHost::Answer::EchoReply, 1200});
    host->Set("10.77.0.13", {FakeHost::Answer::TimestampThenReply, 100});
    host->Set("10.77.0.14", {FakeHost::Answer::WrongIdentifier});
    const auto pingAll = [] {
        std::string seen;
        for (const char* address : {"10.77.0.11", "10.77.0.12", "10.77.0.13", "10.77.0.14"})
            seen += describe(ping(address)) + " / ";
        return seen;
    };
    const std::string expected = "2 0 0.0.0.0 0 3489 0 / 2 0 0.0.0.0 0 3489 0 / 0 72 10.77.0.13 0 3489 64 / "
                                 "2 0 0.0.0.0 0 3489 0 / ";
    EXPECT_EQ(pingAll(), expected);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(asOrdinaryUser(pingAll), expected);
    setPingGroupRange("1 0");
}

TEST_F(FakeHostTest, RequestsLeaveWithTtl128AndAnswersWithIpOptionsAreRead)
{
    setPingGroupRange("0 2147483647");
    host->Set("10.77.0.16", {FakeHost::Answer::EchoReply, 0, 1, "", 8});
    host->Set("10.77.0.17", {FakeHost::Answer::TimeExceeded, 0, 1, "10.77.0.254", 4});
    // A raw socket shows the header as it came; the datagram socket's stand-in has no options.
    EXPECT_EQ(describe(ping("10.77.0.16")), "0 80 10.77.0.16 0 3489 64");
    EXPECT_EQ(host->TtlSeen("10.77.0.16"), 128);
    EXPECT_EQ(describe(ping("10.77.0.17")), std::to_string(roTtlExpired) + " 60 10.77.0.254 11 3489 64");
    EXPECT_EQ(asOrdinaryUser([] { return describe(ping("10.77.0.16")); }), "0 72 10.77.0.16 0 3489 64");
    EXPECT_EQ(host->TtlSeen("10.77.0.16"), 128) << "the datagram socket sends with the same time-to-live";
    setPingGroupRange("1 0");
}

TEST(UnprivilegedTest, OrdinaryUserPingsThroughTheDatagramSocket)
{
    REQUIRE_ISOLATION();
    setPingGroupRange("0 2147483647");
    EXPECT_EQ(asOrdinaryUser([] { return describe(ping("127.0.0.1")); }), "0 72 127.0.0.1 0 3489 64");
    setPingGroupRange("1 0");
    EXPECT_EQ(asOrdinaryUser([] { return describe(ping("127.0.0.1")); }), "Cannot allocate socket.");
}

// Loopback, an address literal, a name with only an IPv6 address, a host that refuses and a silent one, on
// the raw socket and on the datagram socket alike.
TEST(Ipv6Test, Ipv6HostsAnswerOrNotAsIpv4OnesDo)
{
    REQUIRE_ISOLATION();
    Ipv6TestHosts hosts;
    if (!hosts.Ready())
        GTEST_SKIP() << hosts.Error();
    setPingGroupRange("0 2147483647");
    const auto pingAll = [] {
        std::string seen;
        for (const char* host : {"::1", Ipv6TestHosts::Answering, Ipv6TestHosts::Ipv6OnlyName, Ipv6TestHosts::Refusing,
                                 Ipv6TestHosts::Silent})
            seen += describe(ping(host)) + " / ";
        return seen;
    };
    const std::string expected = "0 92 ::1 129 3489 64 / 0 92 2001:db8::1 129 3489 64 / 0 92 2001:db8::1 129 3489 64 / "
                                 "3 140 2001:db8::3 1 3489 64 / 2 0 :: 0 3489 0 / ";
    EXPECT_EQ(pingAll(), expected);
    EXPECT_EQ(asOrdinaryUser(pingAll), expected);
    setPingGroupRange("1 0");
    EXPECT_EQ(ping(Ipv6TestHosts::DualStackName).status.SourceAddress, "127.0.0.1") << "IPv4 first";

    // A name server that never answers must not hold up what the hosts file knows.
    SilentResolver resolver(1);
    if (!resolver.Ready())
        GTEST_SKIP() << resolver.Error();
    const Exchange e = ping(Ipv6TestHosts::Ipv6OnlyName);
    EXPECT_EQ(e.status.SourceAddress, Ipv6TestHosts::Answering) << e.error;
    EXPECT_LT(e.elapsedMs, 500);
}

TEST_F(FakeHostTest, OrdinaryUserSeesErrorsAndTimeOutsAsRootDoes)
{
    setPingGroupRange("0 2147483647");
    host->Set("10.77.0.8", {FakeHost::Answer::TimeExceeded, 0, 1, "10.77.0.254"});
    host->Set("10.77.0.9", {FakeHost::Answer::Silence});
    host->Set("10.77.0.10", {FakeHost::Answer::EchoReply, 50});
    // Every field as the raw socket gives it, the reporter's TTL included.
    const std::string expired = describe(ping("10.77.0.8"));
    EXPECT_EQ(expired, std::to_string(roTtlExpired) + " 56 10.77.0.254 11 3489 64");
    EXPECT_EQ(asOrdinaryUser([] { return describe(ping("10.77.0.8")); }), expired);
    EXPECT_EQ(asOrdinaryUser([] { return describe(ping("10.77.0.9")); }), "2 0 0.0.0.0 0 3489 0");
    EXPECT_EQ(asOrdinaryUser([] { return describe(ping("10.77.0.10")); }), "0 72 10.77.0.10 0 3489 64");
    setPingGroupRange("1 0");
}

// Every host at once through the engine, `meanwhile` started on the loop as the requests are queued.
std::map<std::string, TReplyStatus> pingAtOnce(const std::vector<std::string>& hosts, int timeoutMs,
                                               const std::function<void(TPollEventLoop&)>& meanwhile = {})
{
    TPollEventLoop loop;
    TEchoEngine engine(loop);
    std::map<std::string, TReplyStatus> seen;
    for (const std::string& host : hosts)
        engine.Send({TSocketStack::TextToIpAddress(host), 3489, timeoutMs, {}},
                    [&seen, host](const TEchoOutcome& outcome) { seen[host] = outcome.Status; });
    if (meanwhile)
        meanwhile(loop);
    loop.RunUntil([&] { return engine.Pending() == 0; });
    return seen;
}

// Two hundred hosts whose answers, and routers' reports about some, reach us in the same moment: each is
// credited to its own request, on the raw socket and on the datagram socket alike.
TEST_F(FakeHostTest, HostsAnsweringTogetherEachGetTheirOwnAnswer)
{
    std::vector<std::string> hosts;
    std::map<std::string, std::pair<TReplyOutcome, std::string>> expected;
    for (int i = 10; i < 210; ++i) {
        const std::string address = "10.77.0." + std::to_string(i);
        hosts.push_back(address);
        const FakeHost::Answer answer = i % 25 == 0 ? FakeHost::Answer::Unreachable
            : i % 25 == 1                           ? FakeHost::Answer::TimeExceeded
                                                    : FakeHost::Answer::EchoReply;
        host->Set(address, {answer, 0, 1, "10.77.0.254"});
        expected[address] = answer == FakeHost::Answer::EchoReply ? std::pair {roEchoReply, address}
            : answer == FakeHost::Answer::Unreachable ? std::pair {roUnreachable, std::string("10.77.0.254")}
                                                      : std::pair {roTtlExpired, std::string("10.77.0.254")};
    }
    const auto body = [&] {
        std::string wrong;
        int right = 0;
        for (const auto& [address, status] : pingAtOnce(hosts, 3000)) {
            if (std::pair {status.Outcome, status.SourceAddress} == expected[address] && status.RoundTripUs >= 250000)
                ++right;
            else
                wrong += address + ": " + std::to_string(status.Outcome) + " from " + status.SourceAddress + " in "
                    + std::to_string(status.RoundTripUs) + " us; ";
        }
        return wrong + std::to_string(right) + " right";
    };
    host->HoldAnswersUntil(Clock::now() + std::chrono::milliseconds(400));
    EXPECT_EQ(body(), "200 right");
    setPingGroupRange("0 2147483647");
    host->HoldAnswersUntil(Clock::now() + std::chrono::milliseconds(400));
    EXPECT_EQ(asOrdinaryUser(body), "200 right");
    setPingGroupRange("1 0");
}

// The round trip is the host's: not the time the loop took to read the answer, not a late answer to the
// request before.
TEST_F(FakeHostTest, EngineRoundTripsAreTheHostsOwn)
{
    host->Set("10.77.0.20", {FakeHost::Answer::EchoReply, 50});
    const auto busy = [](TPollEventLoop& loop) {
        loop.StartTimer(std::chrono::milliseconds(10),
                        [] { std::this_thread::sleep_for(std::chrono::milliseconds(500)); });
    };
    const TReplyStatus quick = pingAtOnce({"10.77.0.20"}, 1000, busy).at("10.77.0.20");
    EXPECT_EQ(quick.Outcome, roEchoReply);
    EXPECT_GE(quick.RoundTripUs, 45000u);
    EXPECT_LT(quick.RoundTripUs, 200000u) << "the loop was busy for 500 ms after the answer came";

    host->Set("10.77.0.21", {FakeHost::Answer::EchoReply, 600});
    TPollEventLoop loop;
    TEchoEngine engine(loop);
    std::vector<TReplyStatus> seen;
    const TIpAddress address = TSocketStack::TextToIpAddress("10.77.0.21");
    engine.Send({address, 1, 300, {}}, [&](const TEchoOutcome& first) {
        seen.push_back(first.Status);
        engine.Send({address, 2, 1000, {}}, [&](const TEchoOutcome& second) { seen.push_back(second.Status); });
    });
    loop.RunUntil([&] { return seen.size() == 2; });
    EXPECT_EQ(seen[0].Outcome, roTimeOut);
    EXPECT_EQ(seen[1].Outcome, roEchoReply);
    EXPECT_EQ(seen[1].SequenceNumber, 2);
    EXPECT_GE(seen[1].RoundTripUs, 590000u) << "the first request's answer came 300 ms into the second's wait";
}

} // namespace

namespace {

long millisecondsSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

TEST(SlowResolverTest, ALookUpKeepsTheHookGoingAndEndsWithTheResolversError)
{
    REQUIRE_ISOLATION();
    SilentResolver resolver(1);
    if (!resolver.Ready())
        GTEST_SKIP() << resolver.Error();
    TIcmpClient client;
    client.SetHost(SilentResolver::SlowName);
    int calls = 0;
    client.OnWait = [&] { ++calls; };
    try {
        client.Ping();
        FAIL();
    } catch (const ENetSocketError& error) {
        EXPECT_EQ(error.Message(), "Socket Error # 11002\r\n");
    }
    EXPECT_GE(calls, 900 / WaitSliceMs - 5) << "a second of lookup, a call every slice";
    EXPECT_EQ(SharedStack()->LookUpHostName("localhost", [] {}), "127.0.0.1") << "found names come back too";
}

TEST(SlowResolverTest, AnAbandonedLookUpDoesNotHoldUpTheProcessEnd)
{
    REQUIRE_ISOLATION();
    SilentResolver resolver; // ten seconds before it gives up
    if (!resolver.Ready())
        GTEST_SKIP() << resolver.Error();
    const auto begun = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        {
            TIcmpClient client;
            client.SetHost(SilentResolver::SlowName);
            client.OnWait = [&] {
                if (millisecondsSince(begun) > 200)
                    throw 0;
            };
            try {
                client.Ping();
            } catch (int) { }
        }
        std::exit(0); // the program's own way out, static destructors and all
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_LE(millisecondsSince(begun), 1500);
}

// A name server that never answers holds neither the lookups waiting behind it for ever, nor the program's
// end: the resolver bounds each lookup and lets go of the one under way when it goes.
TEST(SlowResolverTest, TheResolverBoundsEachLookUpAndHoldsNothingUpAtTheEnd)
{
    REQUIRE_ISOLATION();
    Ipv6TestHosts hosts;
    if (!hosts.Ready())
        GTEST_SKIP() << hosts.Error();
    SilentResolver resolver; // ten seconds before it gives up
    if (!resolver.Ready())
        GTEST_SKIP() << resolver.Error();
    const auto begun = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<std::string> seen;
        {
            TPollEventLoop loop;
            TNameResolver names(loop, 1);
            names.SetLookUpBound(std::chrono::milliseconds(300));
            for (const char* name : {SilentResolver::SlowName, Ipv6TestHosts::Ipv6OnlyName, SilentResolver::SlowName})
                names.Resolve(name, {}, [&seen](const TResolved& resolved) {
                    try {
                        if (resolved.Error)
                            std::rethrow_exception(resolved.Error);
                        seen.push_back(TSocketStack::IpAddressToText(*resolved.Address));
                    } catch (const std::exception& error) {
                        seen.push_back(error.what());
                    }
                });
            loop.RunUntil([&] { return seen.size() == 2; });
        }
        std::exit(seen == std::vector<std::string> {"Socket Error # 11002\r\n", Ipv6TestHosts::Answering} ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_LE(millisecondsSince(begun), 1500) << "one bound, one lookup from the hosts file, and out";
}

} // namespace
