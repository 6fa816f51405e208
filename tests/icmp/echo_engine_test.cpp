#include "icmp/echo_engine.h"
#include "icmp/name_resolver.h"
#include "icmp/net_exceptions.h"
#include "icmp/poll_event_loop.h"
#include "tests/icmp/scripted_stack.h"

#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

std::string errorText(const std::exception_ptr& error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    }
    return std::string();
}

class EchoEngineTest : public ::testing::Test
{
protected:
    ScriptState& script() { return network.state(); }
    TEchoEngine::TTicket send(TEchoEngine& to, const std::string& host, uint16_t sequence, int timeoutMs = 1000)
    {
        return to.Send({TSocketStack::TextToIpAddress(host), sequence, timeoutMs, {}},
                       [this, host](const TEchoOutcome& outcome) { outcomes.emplace_back(host, outcome); });
    }
    TEchoEngine::TTicket send(const std::string& host, uint16_t sequence, int timeoutMs = 1000)
    {
        return send(engine, host, sequence, timeoutMs);
    }
    const TReplyStatus& status(size_t i) { return outcomes.at(i).second.Status; }

    ScriptedNetwork network;
    ScriptedLoop loop {network.state()};
    TEchoEngine engine {loop};
    std::vector<std::pair<std::string, TEchoOutcome>> outcomes;
};

TEST_F(EchoEngineTest, WhatIsNoEchoReplyIsSkippedAndTheWaitGoesOn)
{
    for (const ForeignCase& foreign : ScriptedNetwork::ForeignDatagrams(3489)) {
        send(foreign.ipv6 ? "::1" : "127.0.0.1", 3489);
        network.Arrive(5, foreign.bytes);
        network.Arrive(20, ScriptedNetwork::LoopbackReply(foreign.ipv6, 3489));
        loop.RunFor(1000);
        ASSERT_FALSE(outcomes.back().second.Error) << foreign.what;
        EXPECT_EQ(outcomes.back().second.Status.Outcome, roEchoReply) << foreign.what;
        EXPECT_EQ(outcomes.back().second.Status.RoundTripUs, 20000u) << foreign.what;
    }
}

TEST_F(EchoEngineTest, AnswersFindTheirRequestsByHostAndSequenceOverOneSocket)
{
    send("10.0.0.1", 1);
    send("10.0.0.2", 1);
    send("10.0.0.1", 2);
    send("10.0.0.3", 5);
    EXPECT_TRUE(outcomes.empty()) << "never from inside Send";
    EXPECT_EQ(engine.Pending(), 4u);
    auto otherIdentifier = ScriptedNetwork::EchoReply(1, 64, {10, 0, 0, 1});
    otherIdentifier[24] ^= 0x5A;
    network.Arrive(1, ScriptedNetwork::WithChecksum(otherIdentifier));
    network.Arrive(2, ScriptedNetwork::EchoReply(1, 64, {10, 0, 0, 9}));
    network.Arrive(3, ScriptedNetwork::EchoReply(1, 60, {10, 0, 0, 2}));
    network.Arrive(4, ScriptedNetwork::EchoReply(2, 61, {10, 0, 0, 1}));
    network.Arrive(6, ScriptedNetwork::ErrorAbout(11, 5, {10, 0, 0, 254}, false, {10, 0, 0, 3}));
    network.Arrive(8, ScriptedNetwork::EchoReply(1, 62, {10, 0, 0, 1}));
    loop.RunFor(100);
    std::vector<std::string> seen;
    for (const auto& [host, outcome] : outcomes)
        seen.push_back(host + " " + FormatReplyLine(outcome.Status) + " " + std::to_string(outcome.Status.RoundTripUs));
    EXPECT_EQ(seen,
              (std::vector<std::string> {"10.0.0.2 72 bytes from 10.0.0.2: icmp_seq=1 ttl=60 time=3 ms 3000",
                                         "10.0.0.1 72 bytes from 10.0.0.1: icmp_seq=2 ttl=61 time=4 ms 4000",
                                         "10.0.0.3 56 bytes from 10.0.0.254: icmp_seq=5 ttl=250 time=6 ms 6000",
                                         "10.0.0.1 72 bytes from 10.0.0.1: icmp_seq=1 ttl=62 time=8 ms 8000"}));
    EXPECT_EQ(status(2).Outcome, roTtlExpired);
    ASSERT_EQ(script().sent.size(), 4u);
    const auto& request = script().sent[2];
    EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.begin() + 8),
              (std::vector<uint8_t> {8, 0, request[2], request[3], uint8_t(engine.Identifier()),
                                     uint8_t(engine.Identifier() >> 8), 2, 0}));
    EXPECT_EQ(request.size(), 52u);
    EXPECT_EQ(request[51], 'E');
    EXPECT_EQ(script().opened.size(), 1u) << "one socket for all";
    EXPECT_TRUE(script().open.empty()) << "none held once nothing is pending";
    EXPECT_EQ(engine.Pending(), 0u);
}

TEST_F(EchoEngineTest, RequestsLeavePacedAndEachTimesOutFromItsOwnDeparture)
{
    for (int i = 0; i < 100; ++i)
        send("10.0.1." + std::to_string(i + 1), 7);
    loop.RunFor(0);
    EXPECT_EQ(script().sent.size(), 16u) << "a burst";
    loop.RunFor(10);
    EXPECT_EQ(script().sent.size(), 56u) << "then four a millisecond";
    loop.RunFor(990 - 1);
    EXPECT_TRUE(outcomes.empty());
    loop.RunFor(1);
    EXPECT_EQ(outcomes.size(), 16u);
    loop.RunFor(30);
    ASSERT_EQ(outcomes.size(), 100u);
    for (size_t i = 0; i < outcomes.size(); ++i) {
        EXPECT_EQ(outcomes[i].first, "10.0.1." + std::to_string(i + 1)) << "in the order sent";
        EXPECT_EQ(status(i).Outcome, roTimeOut);
        EXPECT_EQ(status(i).SourceAddress, "0.0.0.0");
        EXPECT_EQ(status(i).SequenceNumber, 7);
        EXPECT_EQ(status(i).RoundTripMs, 1000u);
    }
    EXPECT_TRUE(script().open.empty());
    EXPECT_EQ(loop.Timers(), 0u);
}

TEST_F(EchoEngineTest, ArrivalStampsAndLateAnswers)
{
    // The loop was busy for half a second after the answer came: the host still answered in 30 ms.
    send("10.0.0.1", 1);
    network.Arrive(30, ScriptedNetwork::EchoReply(1, 64, {10, 0, 0, 1}));
    loop.RunFor(0);
    script().nowMs += 500;
    loop.RunFor(1);
    EXPECT_EQ(status(0).RoundTripUs, 30000u);
    // An answer that came after the time-out is none, and is not taken for the next request either.
    send("10.0.0.1", 2, 100);
    network.Arrive(300, ScriptedNetwork::EchoReply(2, 64, {10, 0, 0, 1}));
    loop.RunFor(0);
    script().nowMs += 400;
    loop.RunFor(0);
    EXPECT_EQ(status(1).Outcome, roTimeOut);
    send("10.0.0.1", 3);
    network.Arrive(5, ScriptedNetwork::EchoReply(2, 64, {10, 0, 0, 1}));
    network.Arrive(50, ScriptedNetwork::EchoReply(3, 64, {10, 0, 0, 1}));
    loop.RunFor(1000);
    EXPECT_EQ(status(2).SequenceNumber, 3);
    EXPECT_EQ(status(2).RoundTripUs, 50000u);
}

TEST_F(EchoEngineTest, FailuresComeBackFromTheLoopAndCancelledRequestsAreDropped)
{
    script().refuseSockets = true;
    send("10.0.0.1", 1);
    send("::1", 1);
    EXPECT_TRUE(outcomes.empty());
    loop.RunFor(0);
    script().refuseSockets = false;
    script().sendResult = -1;
    for (const int error : {10065, 10040}) {
        script().sendError = error;
        send("10.0.0.1", 2);
        loop.RunFor(0);
    }
    script().sendResult = 0;
    send("10.0.0.1", 3);
    auto problem = ScriptedNetwork::ErrorAbout(3, 3, {10, 0, 0, 254}, false, {10, 0, 0, 1});
    problem[20] = 12;
    network.Arrive(5, ScriptedNetwork::WithChecksum(problem));
    loop.RunFor(10);
    std::vector<std::string> errors;
    for (const auto& [host, outcome] : outcomes)
        errors.push_back(errorText(outcome.Error));
    EXPECT_EQ(errors,
              (std::vector<std::string> {"Cannot allocate socket.", "Cannot allocate socket.",
                                         "Socket Error # 10065\r\nNo route to host.", "Package Size Too Big.",
                                         "Non-echo type response received"}));

    outcomes.clear();
    const auto queued = send("10.0.0.1", 4);
    engine.Cancel(queued);
    const auto sent = send("10.0.0.1", 5);
    loop.RunFor(1);
    engine.Cancel(sent);
    network.Arrive(1, ScriptedNetwork::EchoReply(5, 64, {10, 0, 0, 1}));
    {
        TEchoEngine other(loop);
        send(other, "10.0.0.2", 6);
        loop.RunFor(1);
    }
    loop.RunFor(2000);
    EXPECT_TRUE(outcomes.empty()) << "cancelled and destroyed: nobody called";
    EXPECT_TRUE(script().open.empty());
    EXPECT_EQ(loop.Timers(), 0u);
}

TEST(NameResolverTest, LiteralsAnswerAtOnceNamesTakeTurnsAndEachLookUpIsBounded)
{
    ScriptedNetwork network;
    ScriptedLoop loop(network.state());
    auto resolver = std::make_unique<TNameResolver>(loop, 2);
    std::vector<std::string> answers;
    const auto resolve = [&](const std::string& host, std::optional<TIpFamily> family = {}) {
        return resolver->Resolve(host, family, [&answers, host](const TResolved& resolved) {
            answers.push_back(
                host + ": "
                + (resolved.Address ? TSocketStack::IpAddressToText(*resolved.Address) : errorText(resolved.Error)));
        });
    };
    network.state().hosts6["only6"] = "2001:db8::2";
    for (const char* literal : {"LocalHost", "127.1", "fe80::1%lo", "only6"})
        resolve(literal);
    resolve("::1", TIpFamily::IPv4);
    EXPECT_TRUE(answers.empty()) << "never from inside Resolve";
    loop.RunFor(0);
    EXPECT_EQ(answers,
              (std::vector<std::string> {"LocalHost: 127.0.0.1", "127.1: 127.0.0.1", "fe80::1%lo: fe80::1%lo",
                                         "only6: 2001:db8::2", "::1: Socket Error # 11004\r\n"}));
    EXPECT_EQ(network.state().lookups, 1);

    answers.clear();
    auto& held = network.state().heldLookUps;
    network.state().holdLookUps = true;
    resolver->SetLookUpBound(std::chrono::seconds(1));
    resolve("a");
    const auto b = resolve("b");
    resolve("c");
    ASSERT_EQ(held.size(), 2u) << "two at once";
    held[0].second->Answer(true, TIpAddress::FromIpv4({10, 0, 0, 1}), 0);
    resolver->Cancel(b);
    loop.RunFor(0);
    ASSERT_EQ(held.size(), 3u) << "the next one's turn";
    EXPECT_EQ(held[2].first, "c");
    loop.RunFor(1000);
    held[1].second->Answer(true, TIpAddress::FromIpv4({10, 0, 0, 2}), 0);
    loop.RunFor(1000);
    EXPECT_EQ(answers, (std::vector<std::string> {"a: 10.0.0.1", "c: Socket Error # 11002\r\n"}))
        << "b was cancelled; c outlasted its bound";

    resolve("d");
    resolver.reset();
    held.back().second->Answer(true, TIpAddress::FromIpv4({10, 0, 0, 4}), 0);
    loop.RunFor(1000);
    EXPECT_EQ(answers.size(), 2u) << "a resolver that is gone calls nobody";
}

TEST(PollEventLoopTest, TimersInTheirOrderWatchesUntilRemovedPostsFromAnyThread)
{
    TPollEventLoop loop;
    std::vector<std::string> seen;
    loop.StartTimer(std::chrono::milliseconds(3), [&] { seen.push_back("3 ms"); });
    loop.StartTimer(std::chrono::microseconds(250), [&] { seen.push_back("250 us"); });
    loop.CancelTimer(loop.StartTimer(std::chrono::milliseconds(2), [&] { seen.push_back("cancelled"); }));
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    TEventLoop::THandle watch = 0;
    watch = loop.Watch(fds[0], TEventLoop::TIo::Read, [&] {
        seen.push_back("readable");
        loop.Unwatch(watch);
    });
    const auto loopThread = std::this_thread::get_id();
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        loop.Post([&] { seen.push_back(std::this_thread::get_id() == loopThread ? "posted" : "elsewhere"); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(::write(fds[1], "x", 1), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        loop.Quit();
    });
    loop.Run();
    poster.join();
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_EQ(seen, (std::vector<std::string> {"250 us", "3 ms", "posted", "readable"}))
        << "the watch is called once: it removed itself with data still waiting";
    EXPECT_TRUE(loop.RunUntil([&] { return seen.size() == 4; }));
}

} // namespace
