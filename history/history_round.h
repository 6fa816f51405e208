// One resource's run in one monitoring round, as the history keeps it and the alerts and the row tip read it
// back after a restart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The alerts' state of a resource after a round.
enum class THistoryState : uint8_t {
    Unknown, // not yet seen answering since it was listed
    Up,
    Down,
    Degraded, // answers, but too slowly or losing too many requests
};

struct THistoryRound
{
    std::string Resource; // the resource's file name without ".cvr"
    std::string Host; // the host line as the file holds it
    std::string Address; // the address the host resolved to; empty when it did not resolve
    int64_t StartedMs = 0; // when the resource's run began, Unix time in milliseconds, UTC
    int Sent = 0;
    int Received = 0;
    // Round trips of the answers, in microseconds; nothing when none answered.
    std::optional<uint32_t> MinUs;
    std::optional<uint32_t> AvgUs;
    std::optional<uint32_t> MaxUs;
    std::string Error; // what ended the run; empty when nothing did
    THistoryState State = THistoryState::Unknown; // after this round
    // When the state began (for Down, the first failing round of the run of failures that made it down).
    std::optional<int64_t> StateSinceMs;
};
