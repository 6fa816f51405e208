// What each resource's runs came to across monitoring rounds, and the state that follows from them: up,
// down after a few failing rounds in a row, up again after one answering round.
#pragma once

#include "icmp/reply_status.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

using TWallClock = std::chrono::system_clock;

// One run of one resource's pinger.
struct TRoundResult
{
    int Sent = 0; // echo exchanges completed
    int Received = 0; // echo replies among them
    // Round trips of the replies in microseconds, from the request leaving to the answer being read, so
    // that a fast host shows tenths of a millisecond; 0 while there are none.
    uint32_t MinUs = 0;
    uint32_t MaxUs = 0;
    uint64_t SumUs = 0;
    std::string Error; // the error that ended the run, empty when none did
    std::string Address; // the address the host resolved to; empty when it was not resolved
    // What kind of check the run made, for a port or a URL: "TCP 443", "HTTP 200"; empty for echoes.
    std::string Check;

    // Answered at least once: a run that then ended in an error still reached its host.
    bool Up() const { return Received > 0; }
    // The mean round trip of the replies, rounded; 0 without replies.
    uint32_t AvgUs() const;
    void Add(const TReplyStatus& reply);
};

enum class THostState : uint8_t {
    Unknown, // not yet seen answering since it was first listed
    Up,
    Down,
};

// A round as the history keeps it.
struct TRoundMark
{
    bool Up = false;
    uint32_t AvgUs = 0;
};

class TResourceState final
{
public:
    static constexpr int HistoryLength = 60;

    const std::string& Host() const { return m_host; }
    THostState State() const { return m_state; }
    int FailedInRow() const { return m_failedInRow; }
    const TRoundResult& LastRound() const { return m_last; }
    // The last address the host resolved to, kept through rounds that could not resolve it.
    const std::string& Address() const { return m_address; }
    // When the present state began: a change, or the first answer after the resource was listed.
    std::optional<TWallClock::time_point> LastChange() const { return m_lastChange; }
    // Up to HistoryLength rounds, oldest first.
    std::vector<TRoundMark> Recent() const;

private:
    friend class TResourceStates;

    std::string m_host;
    THostState m_state = THostState::Unknown;
    int m_failedInRow = 0;
    TRoundResult m_last;
    std::string m_address;
    std::optional<TWallClock::time_point> m_lastChange;
    std::array<TRoundMark, HistoryLength> m_history {};
    int m_historyStart = 0;
    int m_historyCount = 0;
};

// A resource that went down or came back in a round.
struct TStateChange
{
    std::string Name; // the resource's file name
    std::string Host;
    THostState State = THostState::Unknown; // Up or Down
    TWallClock::time_point At;
    TRoundResult Round; // the run that made the change
};

// The states of the listed resources, keyed by file name; held in memory only.
class TResourceStates final
{
public:
    static constexpr int DefaultDownAfter = 2;

    // A new round over `listed` (the file names of the refreshed list): resources no longer listed are
    // forgotten, so one that is renamed or deleted and added again starts without a state.
    void BeginRound(const std::vector<std::string>& listed, int downAfter);
    // One resource's run in the current round, ended at `at`. A resource whose host changed starts afresh.
    void Record(const std::string& name, const std::string& host, const TRoundResult& round, TWallClock::time_point at);
    // The changes recorded since the last call, in the order the resources were pinged.
    std::vector<TStateChange> TakeChanges();

    const TResourceState* Find(const std::string& name) const;
    size_t Count() const { return m_states.size(); }

private:
    std::map<std::string, TResourceState> m_states;
    std::vector<TStateChange> m_changes;
    int m_downAfter = DefaultDownAfter;
};
