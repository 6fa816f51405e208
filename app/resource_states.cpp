#include "app/resource_states.h"

#include <algorithm>
#include <set>
#include <utility>

uint32_t TRoundResult::AvgUs() const
{
    if (Received <= 0)
        return 0;
    const auto n = static_cast<uint64_t>(Received);
    return static_cast<uint32_t>((SumUs + n / 2) / n);
}

void TRoundResult::Add(const TReplyStatus& reply)
{
    ++Sent;
    // A time-out, an unreachable host or an expired TTL is no answer.
    if (reply.Outcome != roEchoReply)
        return;
    MinUs = Received == 0 ? reply.RoundTripUs : std::min(MinUs, reply.RoundTripUs);
    MaxUs = std::max(MaxUs, reply.RoundTripUs);
    SumUs += reply.RoundTripUs;
    ++Received;
}

std::vector<TRoundMark> TResourceState::Recent() const
{
    std::vector<TRoundMark> marks;
    marks.reserve(static_cast<size_t>(m_historyCount));
    for (int i = 0; i < m_historyCount; ++i)
        marks.push_back(m_history[static_cast<size_t>((m_historyStart + i) % HistoryLength)]);
    return marks;
}

void TResourceStates::BeginRound(const std::vector<std::string>& listed, int downAfter)
{
    m_downAfter = std::max(1, downAfter);
    const std::set<std::string> names(listed.begin(), listed.end());
    std::erase_if(m_states, [&](const auto& entry) { return !names.contains(entry.first); });
}

void TResourceStates::Record(const std::string& name, const std::string& host, const TRoundResult& round,
                             TWallClock::time_point at)
{
    auto [entry, added] = m_states.try_emplace(name);
    TResourceState& state = entry->second;
    // Another host under the same name is another resource: its past says nothing about this one.
    if (!added && state.m_host != host)
        state = TResourceState();
    state.m_host = host;
    state.m_last = round;
    if (!round.Address.empty())
        state.m_address = round.Address;

    const TRoundMark mark {round.Up(), round.AvgUs()};
    if (state.m_historyCount < TResourceState::HistoryLength) {
        state.m_history[static_cast<size_t>((state.m_historyStart + state.m_historyCount++)
                                            % TResourceState::HistoryLength)]
            = mark;
    } else {
        state.m_history[static_cast<size_t>(state.m_historyStart)] = mark;
        state.m_historyStart = (state.m_historyStart + 1) % TResourceState::HistoryLength;
    }

    const auto change = [&](THostState to) {
        state.m_state = to;
        state.m_lastChange = at;
        m_changes.push_back({name, host, to, at, round});
    };
    if (round.Up()) {
        state.m_failedInRow = 0;
        if (state.m_state == THostState::Down) {
            change(THostState::Up);
        } else if (state.m_state == THostState::Unknown) {
            // First seen answering: nothing was announced before, so nothing is announced now.
            state.m_state = THostState::Up;
            state.m_lastChange = at;
        }
    } else {
        ++state.m_failedInRow;
        // A host never seen answering is not announced as lost; one lost round alone is no alarm.
        if (state.m_state == THostState::Up && state.m_failedInRow >= m_downAfter)
            change(THostState::Down);
    }
}

std::vector<TStateChange> TResourceStates::TakeChanges()
{
    return std::exchange(m_changes, {});
}

const TResourceState* TResourceStates::Find(const std::string& name) const
{
    const auto found = m_states.find(name);
    return found == m_states.end() ? nullptr : &found->second;
}
