#include "icmp/icmp_client.h"
#include "icmp/millisecond_clock.h"
#include "icmp/net_exceptions.h"
#include "tests/icmp/scripted_stack.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class IcmpClientTest : public ::testing::Test
{
protected:
    IcmpClientTest()
    {
        client = std::make_unique<TIcmpClient>();
        client->SetHost("127.0.0.1");
        client->SetReceiveTimeout(1000);
        client->OnReply = [this](TIcmpClient& sender, const TReplyStatus& status) {
            EXPECT_EQ(&sender, client.get());
            replies.push_back(status);
        };
    }

    ScriptState& script() { return network.state(); }
    uint16_t sentSequence(size_t i)
    {
        const auto& d = script().sent.at(i);
        return static_cast<uint16_t>(d[6] | (d[7] << 8));
    }

    ScriptedNetwork network;
    std::unique_ptr<TIcmpClient> client;
    std::vector<TReplyStatus> replies;
};

TEST_F(IcmpClientTest, RequestIsFiftyTwoBytesWithLittleEndianIdsPaddingAndAValidChecksum)
{
    network.Arrive(5, ScriptedNetwork::EchoReply(3489));
    client->Ping();
    ASSERT_EQ(script().sent.size(), 1u);
    const auto& r = script().sent[0];
    ASSERT_EQ(r.size(), 52u);
    EXPECT_EQ(r[0], 8);
    EXPECT_EQ(r[1], 0);
    const auto pid = static_cast<uint16_t>(::getpid());
    EXPECT_EQ(r[4], pid & 0xFF);
    EXPECT_EQ(r[5], pid >> 8);
    EXPECT_EQ(r[6], 0xA1);
    EXPECT_EQ(r[7], 0x0D);
    EXPECT_EQ(r[8] | (r[9] << 8) | (r[10] << 16) | (uint32_t(r[11]) << 24), 1000u) << "the clock when built";
    for (int i = 12; i < 20; ++i)
        EXPECT_EQ(r[static_cast<size_t>(i)], 0) << i;
    for (int i = 20; i < 52; ++i)
        EXPECT_EQ(r[static_cast<size_t>(i)], 0x45) << i;
    uint32_t sum = 0;
    for (size_t i = 0; i < 52; i += 2)
        sum += static_cast<uint32_t>(r[i] | (r[i + 1] << 8));
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    EXPECT_EQ(sum, 0xFFFFu) << "a receiver's checksum over the message comes out as all ones";
}

TEST_F(IcmpClientTest, DataFillsTheFirstBytesAndIsCutAfterThirtyTwo)
{
    client->Ping("abc");
    const auto& r = script().sent[0];
    EXPECT_EQ(r[20], 'a');
    EXPECT_EQ(r[22], 'c');
    EXPECT_EQ(r[23], 0x45);
    client->Ping(std::string(40, 'z'));
    const auto& r2 = script().sent[1];
    ASSERT_EQ(r2.size(), 52u);
    EXPECT_EQ(r2[51], 'z');
}

TEST_F(IcmpClientTest, EchoReplyFillsTheStatusAndEndsTheWait)
{
    client->SetHost("10.0.0.9");
    network.Arrive(15, ScriptedNetwork::EchoReply(3489, 57, {10, 0, 0, 9}));
    client->Ping();
    ASSERT_EQ(replies.size(), 1u);
    const TReplyStatus& s = replies[0];
    EXPECT_EQ(s.Outcome, roEchoReply);
    EXPECT_EQ(s.ByteCount, 72);
    EXPECT_EQ(s.SourceAddress, "10.0.0.9");
    EXPECT_EQ(s.IcmpType, 0);
    EXPECT_EQ(s.SequenceNumber, 3489);
    EXPECT_EQ(s.Ttl, 57);
    EXPECT_EQ(s.RoundTripMs, 15u);
    EXPECT_EQ(FormatReplyLine(s), "72 bytes from 10.0.0.9: icmp_seq=3489 ttl=57 time=15 ms");
    EXPECT_EQ(client->NextSequence(), 3490);
}

TEST_F(IcmpClientTest, SilenceGivesTheTimeOutValuesAfterTheBudget)
{
    client->Ping();
    const TReplyStatus& s = replies.at(0);
    EXPECT_EQ(s.Outcome, roTimeOut);
    EXPECT_EQ(s.ByteCount, 0);
    EXPECT_EQ(s.SourceAddress, "0.0.0.0");
    EXPECT_EQ(s.IcmpType, 0);
    EXPECT_EQ(s.SequenceNumber, 3489);
    EXPECT_EQ(s.Ttl, 0);
    EXPECT_EQ(s.RoundTripMs, 1000u);
    EXPECT_EQ(FormatReplyLine(s), "0 bytes from 0.0.0.0: icmp_seq=3489 ttl=0 time=1000 ms");
    // The next request carries the next number.
    client->Ping();
    EXPECT_EQ(sentSequence(1), 3490);
}

TEST_F(IcmpClientTest, ForeignDatagramsAreSkippedWithinOneBudget)
{
    network.Arrive(300, ScriptedNetwork::EchoReply(7));
    network.Arrive(300, ScriptedNetwork::ErrorAbout(11, 99, {10, 0, 0, 1}));
    network.Arrive(500, ScriptedNetwork::EchoReply(3489));
    client->Ping();
    EXPECT_EQ(replies.at(0).Outcome, roEchoReply);
    EXPECT_EQ(replies.at(0).RoundTripMs, 500u);
    ASSERT_GE(script().waits.size(), 3u);
    EXPECT_EQ(script().waits[0], 1000);
    EXPECT_EQ(script().waits[1], 700) << "the wait goes on for what is left";

    // Only foreign traffic: the whole wait still lasts one budget.
    network.Arrive(300, ScriptedNetwork::EchoReply(1));
    client->Ping();
    EXPECT_EQ(replies.at(1).Outcome, roTimeOut);
    EXPECT_EQ(replies.at(1).RoundTripMs, 1000u);
    EXPECT_EQ(replies.at(1).SequenceNumber, 3490);
}

TEST_F(IcmpClientTest, ErrorMessagesAboutOurRequestEndTheWait)
{
    network.Arrive(20, ScriptedNetwork::ErrorAbout(11, 3489, {192, 168, 7, 1}));
    client->Ping();
    EXPECT_EQ(replies.at(0).Outcome, roTtlExpired);
    EXPECT_EQ(replies.at(0).SourceAddress, "192.168.7.1");
    EXPECT_EQ(replies.at(0).IcmpType, 11);
    EXPECT_EQ(replies.at(0).Ttl, 250);
    network.Arrive(20, ScriptedNetwork::ErrorAbout(3, 3490, {192, 168, 7, 2}));
    client->Ping();
    EXPECT_EQ(replies.at(1).Outcome, roUnreachable);
    EXPECT_EQ(replies.at(1).ByteCount, 56);
}

TEST_F(IcmpClientTest, ErrorMessageTooShortToNameItsRequestIsForeign)
{
    network.Arrive(20, ScriptedNetwork::ErrorAbout(11, 3489, {192, 168, 7, 1}, true));
    client->Ping();
    EXPECT_EQ(replies.at(0).Outcome, roTimeOut);
}

TEST_F(IcmpClientTest, WhatIsNoEchoReplyIsSkippedAndTheWaitGoesOn)
{
    for (const ForeignCase& foreign : ScriptedNetwork::ForeignDatagrams(3489)) {
        client->SetHost(foreign.ipv6 ? "::1" : "127.0.0.1");
        network.Arrive(5, foreign.bytes);
        network.Arrive(20, ScriptedNetwork::LoopbackReply(foreign.ipv6, 3489));
        ASSERT_NO_THROW(client->Ping(std::string(), 3489)) << foreign.what;
        EXPECT_EQ(replies.back().Outcome, roEchoReply) << foreign.what;
        EXPECT_EQ(replies.back().IcmpType, foreign.ipv6 ? 129 : 0) << foreign.what;
        EXPECT_EQ(replies.back().RoundTripMs, 20u) << foreign.what;
    }
}

TEST_F(IcmpClientTest, AParameterProblemRaisesAndKeepsTheSequence)
{
    // A parameter problem about our request: it was thrown away and no answer will come.
    auto problem = ScriptedNetwork::ErrorAbout(3, 3489, {10, 0, 0, 1});
    problem[20] = 12;
    network.Arrive(10, ScriptedNetwork::WithChecksum(problem));
    try {
        client->Ping();
        FAIL();
    } catch (const ENetIcmpException& error) {
        EXPECT_EQ(error.Message(), "Non-echo type response received");
    }
    EXPECT_TRUE(replies.empty()) << "no reply event after an error";
    EXPECT_EQ(client->NextSequence(), 3489);
    EXPECT_EQ(script().open.size(), 1u) << "a socket left open after an error is reused";
    network.Arrive(10, ScriptedNetwork::EchoReply(3489));
    client->Ping();
    EXPECT_EQ(script().opened.size(), 1u);
    EXPECT_TRUE(script().open.empty());
}

TEST_F(IcmpClientTest, IpOptionsMoveTheRequestAnErrorCarries)
{
    // Options on our request's copy only, and on both headers: the copy's own length places it.
    const auto error = ScriptedNetwork::ErrorAbout(3, 3489, {10, 0, 0, 1});
    network.Arrive(1, ScriptedNetwork::WithIpOptions(error, 4, 28));
    client->Ping();
    EXPECT_EQ(replies.at(0).Outcome, roUnreachable);
    network.Arrive(
        1,
        ScriptedNetwork::WithIpOptions(
            ScriptedNetwork::WithIpOptions(ScriptedNetwork::ErrorAbout(11, 3490, {10, 0, 0, 1}), 12, 28), 4));
    client->Ping();
    EXPECT_EQ(replies.at(1).Outcome, roTtlExpired);
    EXPECT_EQ(replies.at(1).ByteCount, 56 + 16);
}

TEST_F(IcmpClientTest, WithAHookTheWaitGoesInSlicesWithinTheSameBudget)
{
    int calls = 0;
    client->OnWait = [&] { ++calls; };
    network.Arrive(100, ScriptedNetwork::EchoReply(7));
    network.Arrive(301, ScriptedNetwork::EchoReply(3489));
    client->Ping();
    EXPECT_EQ(replies.at(0).RoundTripMs, 301u);
    EXPECT_EQ(calls, 300 / WaitSliceMs) << "a call every slice, whatever arrived in it";
    EXPECT_EQ(*std::max_element(script().waits.begin(), script().waits.end()), WaitSliceMs);

    // A modal box opened from the hook holds it for two seconds; the host had answered meanwhile.
    client->OnWait = [&] { script().nowMs += 2000; };
    network.Arrive(100, ScriptedNetwork::EchoReply(3490));
    client->Ping();
    EXPECT_EQ(replies.at(1).Outcome, roEchoReply);
    EXPECT_EQ(replies.at(1).RoundTripMs, 100u) << "as the answer arrived, not as it was read";
    client->Ping();
    EXPECT_EQ(replies.at(2).Outcome, roTimeOut);
    EXPECT_EQ(replies.at(2).RoundTripMs, 15u + 2000u) << "one quiet slice, the hook, and no more waiting";

    // Another program's pings, every 2 ms for the whole wait: the hook still runs every slice.
    std::vector<uint32_t> hooked {script().nowMs};
    client->OnWait = [&] { hooked.push_back(script().nowMs); };
    for (uint32_t at = 2; at < 1000; at += 2)
        network.Arrive(at, ScriptedNetwork::EchoReply(1));
    client->Ping();
    EXPECT_EQ(replies.at(3).Outcome, roTimeOut);
    EXPECT_EQ(hooked.size(), 1u + 1000 / WaitSliceMs);
    for (size_t i = 1; i < hooked.size(); ++i)
        EXPECT_LE(hooked[i] - hooked[i - 1], static_cast<uint32_t>(WaitSliceMs)) << i;

    struct Stop
    {
    };
    client->OnWait = [] { throw Stop(); };
    EXPECT_THROW(client->Ping(), Stop);
    EXPECT_EQ(replies.size(), 4u);
    EXPECT_EQ(client->NextSequence(), 3493);
}

// The same request and rules over ICMPv6: its own types, the kernel's checksum, replies from the host
// pinged with our identifier and sequence only, and errors about our request.
TEST_F(IcmpClientTest, Ipv6HostsArePingedOverIcmpv6ByTheSameRules)
{
    const std::string host = "2001:db8::7";
    client->SetHost(host);
    const auto reply = [&](uint16_t sequence, const std::string& from) {
        return ScriptedNetwork::AsIpv6(ScriptedNetwork::EchoReply(sequence, 57), from, host);
    };
    auto otherIdentifier = reply(3489, host);
    otherIdentifier[44] ^= 0x5A;
    auto ownRequest = reply(3489, host);
    ownRequest[40] = 128;
    for (const auto& foreign : {reply(3489, "2001:db8::9"), otherIdentifier, ownRequest, reply(3488, host)})
        network.Arrive(5, foreign);
    network.Arrive(20, reply(3489, host));
    client->Ping();
    const auto& request = script().sent.at(0);
    ASSERT_EQ(request.size(), 52u);
    EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.begin() + 8),
              (std::vector<uint8_t> {128, 0, 0, 0, uint8_t(client->Identifier()), uint8_t(client->Identifier() >> 8),
                                     0xA1, 0x0D}));
    EXPECT_EQ(script().sentTo.at(0), TSocketStack::TextToIpAddress(host));
    EXPECT_EQ(script().openedAs.at(0), std::make_pair(TIpFamily::IPv6, 58));
    EXPECT_EQ(FormatReplyLine(replies.at(0)), "92 bytes from 2001:db8::7: icmp_seq=3489 ttl=57 time=20 ms");
    EXPECT_EQ(replies.at(0).IcmpType, 129);
    EXPECT_EQ(client->DestinationText(), host);

    const auto error = [&](uint8_t type, uint16_t sequence, const std::string& about) {
        return ScriptedNetwork::AsIpv6(ScriptedNetwork::ErrorAbout(type == 3 ? 11 : 3, sequence, {}), "2001:db8::fe",
                                       about);
    };
    auto tooBig = error(1, 3492, host);
    tooBig[40] = 2;
    network.Arrive(1, error(3, 3490, "2001:db8::8")); // about a request to another host
    network.Arrive(2, error(3, 3490, host));
    network.Arrive(3, error(1, 3491, host));
    network.Arrive(4, tooBig);
    for (int i = 0; i < 4; ++i)
        client->Ping();
    EXPECT_EQ(replies.at(1).Outcome, roTtlExpired);
    EXPECT_EQ(replies.at(1).SourceAddress, "2001:db8::fe");
    EXPECT_EQ(replies.at(1).IcmpType, 3);
    EXPECT_EQ(replies.at(2).Outcome, roUnreachable);
    EXPECT_EQ(replies.at(3).Outcome, roUnreachable) << "packet too big";
    EXPECT_EQ(replies.at(4).Outcome, roTimeOut);
    EXPECT_EQ(replies.at(4).SourceAddress, "::");

    auto problem = error(1, 3494, host);
    problem[40] = 4;
    network.Arrive(1, problem);
    EXPECT_THROW(client->Ping(), ENetIcmpException);
}

TEST_F(IcmpClientTest, ExplicitSequenceAndWrapAround)
{
    client->Ping(std::string(), 7);
    EXPECT_EQ(sentSequence(0), 7);
    EXPECT_EQ(client->NextSequence(), 8);
    client->Ping(std::string(), 65535);
    EXPECT_EQ(client->NextSequence(), 0);
    client->Ping(std::string(), 0);
    EXPECT_EQ(sentSequence(2), 0) << "0 keeps the current number";
    EXPECT_EQ(client->NextSequence(), 1);
}

TEST_F(IcmpClientTest, EveryPingUsesItsOwnSocketAndHoldsNoneAfterwards)
{
    client->Ping();
    EXPECT_TRUE(script().open.empty());
    client->Ping();
    ASSERT_EQ(script().opened.size(), 2u);
    EXPECT_NE(script().opened[0], script().opened[1]);
    EXPECT_TRUE(script().open.empty());
}

TEST_F(IcmpClientTest, ZeroTimeoutPollsOnce)
{
    client->SetReceiveTimeout(0);
    network.Arrive(0, ScriptedNetwork::EchoReply(3489));
    client->Ping();
    EXPECT_EQ(replies.at(0).Outcome, roEchoReply);
    client->Ping();
    EXPECT_EQ(replies.at(1).Outcome, roTimeOut);
    EXPECT_EQ(replies.at(1).RoundTripMs, 0u);
    EXPECT_EQ(script().waits.back(), 0);
}

TEST_F(IcmpClientTest, WithoutAHandlerOnlyTheStatusChanges)
{
    client->OnReply = nullptr;
    network.Arrive(3, ScriptedNetwork::EchoReply(3489));
    client->Ping();
    EXPECT_EQ(client->ReplyStatus().Outcome, roEchoReply);
    EXPECT_EQ(client->ReplyStatus().RoundTripMs, 3u);
}

TEST_F(IcmpClientTest, NamesAreLookedUpEveryTimeAndFailuresOpenNoSocket)
{
    client->SetHost("router");
    try {
        client->Ping();
        FAIL();
    } catch (const ENetSocketError& error) {
        EXPECT_EQ(error.ErrorNumber(), 11001);
        EXPECT_EQ(error.Message(), "Socket Error # 11001\r\nHost not found.");
    }
    EXPECT_TRUE(script().opened.empty());
    script().hosts["router"] = {10, 1, 1, 1};
    client->Ping();
    client->Ping();
    EXPECT_EQ(script().lookups, 3);
    EXPECT_EQ(client->DestinationText(), "10.1.1.1");
    script().hosts.clear();
    EXPECT_THROW(client->Ping(), ENetSocketError);
    EXPECT_EQ(client->DestinationText(), "") << "no address for a name that no longer resolves";
    client->SetHost("LocalHost");
    client->Ping();
    EXPECT_EQ(script().lookups, 4) << "localhost needs no lookup";
}

TEST_F(IcmpClientTest, SendAndSocketFailuresRaiseTheirErrors)
{
    script().refuseSockets = true;
    try {
        client->Ping();
        FAIL();
    } catch (const ENetInvalidSocket& error) {
        EXPECT_EQ(error.Message(), "Cannot allocate socket.");
    }
    script().refuseSockets = false;
    script().sendResult = -1;
    script().sendError = 10040;
    EXPECT_THROW(client->Ping(), ENetPackageSizeTooBig);
    script().sendError = 10051;
    try {
        client->Ping();
        FAIL();
    } catch (const ENetSocketError& error) {
        EXPECT_EQ(error.Message(), "Socket Error # 10051\r\nNetwork is unreachable.");
    }
    script().sendResult = 20;
    try {
        client->Ping();
        FAIL();
    } catch (const ENetNotAllBytesSent& error) {
        EXPECT_EQ(error.Message(), "Not all bytes sent.");
    }
    script().sendResult = 0;
    script().receiveResult = -1;
    script().receiveError = 10054;
    network.Arrive(1, ScriptedNetwork::EchoReply(3489));
    EXPECT_THROW(client->Ping(), ENetSocketError);
    EXPECT_EQ(client->NextSequence(), 3489);
}

TEST(DecodeDatagramTest, ReadsNothingBeyondTheDatagram)
{
    // Header lengths up to 60 with every short size: the decoder must stay inside the bytes it was given.
    for (int hl = 0; hl <= 15; ++hl)
        for (int n = 1; n < 140; ++n) {
            std::vector<uint8_t> exact(static_cast<size_t>(n), 0);
            exact[0] = static_cast<uint8_t>(0x40 | hl);
            for (const uint8_t type : {0, 3, 8, 11}) {
                if (static_cast<size_t>(hl * 4) < exact.size())
                    exact[static_cast<size_t>(hl * 4)] = type;
                TReplyStatus status;
                try {
                    DecodeDatagram(exact.data(), n, TReplyMatch {}, status);
                } catch (const ENetIcmpException&) { }
            }
        }
}

TEST(DecodeDatagramTest, AHeaderLengthBelowTwentyStillNeedsAWholeHeader)
{
    // Found by fuzzing: a zero header length let a 9-byte datagram be read as a reply with an address.
    std::vector<uint8_t> tiny(9, 0);
    TReplyStatus status;
    EXPECT_FALSE(DecodeDatagram(tiny.data(), 9, TReplyMatch {}, status));
}

// The kernel's stamp is on the wall clock, which may be set meanwhile: a stamp the answer cannot have
// arrived at gives way to the time it was read.
TEST(RoundTripTest, TheArrivalStampCountsWhereItCanBeRight)
{
    const TDeparture sent {5000000, 1700000000000000000};
    const uint64_t readAt = sent.MonotonicUs + 900;
    const std::pair<std::optional<int64_t>, uint32_t> cases[] = {
        {sent.RealtimeNs + 300000, 300}, // arrived 300 us after leaving, read at 900
        {std::nullopt, 900},
        {sent.RealtimeNs - 1000, 900}, // before it left: the clock was set back
        {sent.RealtimeNs + 3600000000000, 900}, // after it was read: set forward
    };
    for (const auto& [stamp, expected] : cases)
        EXPECT_EQ(RoundTripUs(sent, stamp, readAt), expected) << (stamp ? *stamp - sent.RealtimeNs : -1);
}

TEST(ReplyLineTest, ZeroMillisecondsReadsAsUnderOne)
{
    TReplyStatus s;
    s.ByteCount = 72;
    s.SourceAddress = "127.0.0.1";
    s.SequenceNumber = 3489;
    s.Ttl = 64;
    s.RoundTripMs = 0;
    EXPECT_EQ(FormatReplyLine(s), "72 bytes from 127.0.0.1: icmp_seq=3489 ttl=64 time<1 ms");
    s.RoundTripMs = 15;
    EXPECT_EQ(FormatReplyLine(s), "72 bytes from 127.0.0.1: icmp_seq=3489 ttl=64 time=15 ms");
}

} // namespace
