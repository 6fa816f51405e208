// What one echo exchange came to.
#pragma once

#include <cstdint>
#include <string>

enum TReplyOutcome : uint8_t {
    roEchoReply = 0,
    roError = 1,
    roTimeOut = 2,
    roUnreachable = 3,
    roTtlExpired = 4,
};

struct TReplyStatus
{
    int32_t ByteCount = 0;
    std::string SourceAddress;
    uint8_t IcmpType = 0;
    uint16_t SequenceNumber = 0;
    uint32_t RoundTripMs = 0;
    uint8_t Ttl = 0;
    TReplyOutcome Outcome = roEchoReply;
    // From the request leaving to its answer being read, without the lookup and the socket's opening that
    // RoundTripMs includes; 0 when nothing answered.
    uint32_t RoundTripUs = 0;
};

// "%d bytes from %s: icmp_seq=%d ttl=%d time%s%d ms", with "<1" and no number for a time of 0.
std::string FormatReplyLine(const TReplyStatus& status);
