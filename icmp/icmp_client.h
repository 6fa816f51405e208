// The ICMP echo client: one echo request per Ping, the wait for its answer, and the decoded outcome.
#pragma once

#include "icmp/raw_client.h"
#include "icmp/reply_status.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class TIcmpClient final : public TRawClient
{
public:
    static constexpr int BufferLength = 1024;
    static constexpr uint16_t FirstSequence = 3489;

    TIcmpClient();

    // One exchange: sends to Host(), waits up to ReceiveTimeout(), reports through OnReply.
    // A `sequence` other than 0 sets NextSequence() first. Errors are raised; no answer is not an error.
    // With an OnWait hook the waits go in slices and the hook runs between them.
    void Ping(const std::string& data = std::string(), uint16_t sequence = 0);

    std::function<void(TIcmpClient& ASender, const TReplyStatus& AReplyStatus)> OnReply;

    uint16_t NextSequence() const { return m_nextSequence; }
    uint16_t Identifier() const { return m_identifier; }
    const TReplyStatus& ReplyStatus() const { return m_replyStatus; }
    int32_t RequestSize() const { return m_requestSize; }
    const std::array<uint8_t, BufferLength>& RequestBuffer() const { return m_requestBuffer; }
    std::array<uint8_t, BufferLength>& ReplyBuffer() { return m_replyBuffer; }

    // The steps of Ping.
    void BuildRequest(const std::string& data);
    void SendRequest();
    void AwaitReply();
    void ReceiveReply(int32_t budgetMs, TReplyStatus& status);
    // Decodes the first `n` bytes of ReplyBuffer(); false when the datagram answers someone else.
    bool DecodeReply(int n, TReplyStatus& status);
    uint16_t Checksum() const;

private:
    void setTimedOut(TReplyStatus& status) const;

    uint16_t m_identifier; // the process id's low bits, taken once
    std::array<uint8_t, BufferLength> m_replyBuffer {};
    std::array<uint8_t, BufferLength> m_requestBuffer {};
    uint16_t m_nextSequence = FirstSequence;
    int32_t m_requestSize = 0;
    uint32_t m_builtAt = 0; // MillisecondClock() when the request was stamped
    TReplyStatus m_replyStatus;
};

// What makes a received message the answer to our request.
struct TReplyMatch
{
    uint16_t Sequence = 0;
    // Our identifier, where the platform does not sort echo replies by it itself (raw sockets).
    std::optional<uint16_t> Identifier;
    // The address pinged: echo replies from anywhere else, and errors about datagrams sent elsewhere, are
    // someone else's, such as a late answer to the previous host.
    std::optional<TIpAddress> Destination;
    // What the datagram is: an IPv4 one with an ICMP message, or an IPv6 one with an ICMPv6 message.
    TIpFamily Family = TIpFamily::IPv4;
};

// Decodes one received datagram of exactly `n` bytes, reading nothing beyond them. False when the message
// is not about our request: another type, another host, another identifier or sequence, or an error
// message too short to name the request it is about. Raises ENetIcmpException for a datagram shorter than
// its headers, and for a parameter problem reported about our request. ICMPv6 errors map onto the IPv4
// outcomes: time exceeded on roTtlExpired, destination unreachable and packet too big on roUnreachable.
bool DecodeDatagram(const uint8_t* datagram, int n, const TReplyMatch& match, TReplyStatus& status);
