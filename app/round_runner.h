// A monitoring round as events of the event loop: every listed resource gets a run, one after another in
// list order or all at once, and each run's start, exchanges and end are reported as they happen.
#pragma once

#include "app/resource_run.h"
#include "icmp/event_loop.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// A listed resource as its file was read at its turn.
struct TRoundEntry
{
    std::string Name; // the file name
    std::string Host; // line 1, as stored
    int Count = 1; // echo requests, 1 to 40
    // The file could not be read, or its count is no number: the run ends at once with this error.
    std::string Error;
};

class TRoundRunner final
{
public:
    using TLoad = std::function<TRoundEntry(int index)>;
    using TMakeRun = std::function<std::unique_ptr<TResourceRun>(const TRoundEntry& entry)>;
    // Parallel runs are started this many at a time, each batch its own event, so that reading thousands of
    // resource files never holds the loop.
    static constexpr int BatchSize = 64;

    TRoundRunner(TEventLoop& loop, TMakeRun makeRun);
    ~TRoundRunner();
    TRoundRunner(const TRoundRunner&) = delete;
    TRoundRunner& operator=(const TRoundRunner&) = delete;

    // Starts a round over the resources 0 .. count-1; `load` reads one when its turn comes. False, and
    // nothing done, while a round runs. Every callback comes later, from the loop.
    bool Start(int count, bool parallel, TLoad load);
    // Abandons the round where it is: no run goes on, no callback comes, OnRoundEnded included.
    void Stop();
    bool Running() const { return m_running; }
    bool Parallel() const { return m_parallel; }

    // A run begins (the hourglass).
    std::function<void(int index)> OnRunStarted;
    std::function<void(int index, bool answered)> OnExchange;
    // A run has ended, or a resource could not be read (then without OnRunStarted, `round.Error` set).
    std::function<void(int index, const TRoundEntry& entry, const TRoundResult& round)> OnRunEnded;
    // Every run has ended.
    std::function<void()> OnRoundEnded;

private:
    struct TActive
    {
        TRoundEntry Entry;
        std::unique_ptr<TResourceRun> Run;
    };

    // Runs `task` from the loop if this round is still the one running then (any round, with `always`),
    // and this runner still exists.
    void post(std::function<void()> task, bool always = false);
    void startNext();
    void startBatch();
    void startOne(int index);
    void ended(int index);
    void checkEnd();
    void reap();

    TEventLoop& m_loop;
    // What posted tasks hold on to: gone with the runner, so none of them runs after it.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    TMakeRun m_makeRun;
    TLoad m_load;
    bool m_running = false;
    bool m_parallel = false;
    // Tasks posted for an earlier round find another generation and do nothing.
    uint64_t m_generation = 0;
    int m_count = 0;
    int m_nextIndex = 0;
    int m_ended = 0;
    std::unordered_map<int, TActive> m_active;
    // Finished runs, destroyed from the loop rather than from inside their own callbacks.
    std::vector<std::unique_ptr<TResourceRun>> m_finished;
    bool m_reapPosted = false;
    bool m_checkPosted = false;
};
