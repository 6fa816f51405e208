// The ICMP echo client: one echo request per Ping, the wait for its answer, and the decoded outcome.
#pragma once

#include "icmp/echo_message.h"
#include "icmp/raw_client.h"
#include "icmp/reply_status.h"

#include <array>
#include <cstdint>
#include <functional>
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
    // Decodes the first `n` bytes of ReplyBuffer() (0: none came, a time-out); false when the datagram
    // answers someone else.
    bool DecodeReply(int n, TReplyStatus& status);

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
