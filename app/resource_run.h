// One resource's run in a monitoring round, driven by the event loop: it starts, reports each of its
// exchanges and its end, and never waits.
#pragma once

#include "app/resource_states.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

class TResourceRun
{
public:
    virtual ~TResourceRun() = default;
    TResourceRun(const TResourceRun&) = delete;
    TResourceRun& operator=(const TResourceRun&) = delete;

    // Called once. The callbacks come later, from the loop, never from inside Start().
    virtual void Start() = 0;
    // Stops the run where it is: nothing more is sent and no callback comes. Safe from inside a callback.
    virtual void Cancel() = 0;

    // After each exchange: whether it was answered.
    std::function<void(bool answered)> OnExchange;
    // Once, when the run has ended: Round() then holds what it came to. The run may be destroyed from here.
    std::function<void()> OnDone;

    const TRoundResult& Round() const { return m_round; }

protected:
    TResourceRun() = default;

    TRoundResult m_round;
};

// The sequence numbers of the gadget's requests: one count for every host and every round, so that no two
// pending requests share a number and a late answer to one round's request is never taken for the next's.
class TSequenceSource final
{
public:
    static constexpr uint16_t First = 3489;

    uint16_t Next() { return m_next++; }

private:
    uint16_t m_next = First;
};

// The text of the exception `error` holds, for a run's Error.
std::string ExceptionText(const std::exception_ptr& error);
