#include "app/round_runner.h"

#include <chrono>

namespace {

// A batch of parallel starts also yields once it has taken this long, whatever its size.
constexpr auto BatchBudget = std::chrono::milliseconds(8);

} // namespace

TRoundRunner::TRoundRunner(TEventLoop& loop, TMakeRun makeRun)
    : m_loop(loop)
    , m_makeRun(std::move(makeRun))
{ }

TRoundRunner::~TRoundRunner()
{
    m_alive.reset();
    for (auto& [index, active] : m_active)
        active.Run->Cancel();
    m_active.clear();
    m_finished.clear();
}

void TRoundRunner::post(std::function<void()> task, bool always)
{
    m_loop.Post([alive = std::weak_ptr<int>(m_alive), this, generation = m_generation, always, task = std::move(task)] {
        if (alive.lock() && (always || generation == m_generation))
            task();
    });
}

bool TRoundRunner::Start(int count, bool parallel, TLoad load)
{
    if (m_running)
        return false;
    m_running = true;
    m_parallel = parallel;
    m_load = std::move(load);
    m_count = count;
    m_nextIndex = 0;
    m_ended = 0;
    m_checkPosted = false;
    post([this] { m_parallel ? startBatch() : startNext(); });
    return true;
}

void TRoundRunner::Stop()
{
    ++m_generation;
    for (auto& [index, active] : m_active) {
        active.Run->Cancel();
        m_finished.push_back(std::move(active.Run));
    }
    m_active.clear();
    m_running = false;
    m_load = nullptr;
    reap();
}

void TRoundRunner::startNext()
{
    if (m_nextIndex < m_count)
        startOne(m_nextIndex++);
    else
        checkEnd();
}

void TRoundRunner::startBatch()
{
    const auto start = std::chrono::steady_clock::now();
    for (int started = 0; m_running && m_nextIndex < m_count && started < BatchSize; ++started) {
        startOne(m_nextIndex++);
        if (std::chrono::steady_clock::now() - start > BatchBudget)
            break;
    }
    if (!m_running)
        return;
    if (m_nextIndex < m_count)
        post([this] { startBatch(); });
    else
        checkEnd();
}

void TRoundRunner::startOne(int index)
{
    TRoundEntry entry = m_load(index);
    if (!entry.Error.empty()) {
        TRoundResult failed;
        failed.Error = entry.Error;
        ++m_ended;
        if (OnRunEnded)
            OnRunEnded(index, entry, failed);
        // Nothing to wait for: the next resource's turn comes as its own event.
        if (!m_parallel)
            post([this] { startNext(); });
        return;
    }
    std::unique_ptr<TResourceRun> run = m_makeRun(entry);
    TResourceRun& started = *run;
    run->OnExchange = [this, index](bool answered) {
        if (OnExchange)
            OnExchange(index, answered);
    };
    run->OnDone = [this, index] { ended(index); };
    m_active.emplace(index, TActive {std::move(entry), std::move(run)});
    if (OnRunStarted)
        OnRunStarted(index);
    if (m_running)
        started.Start();
}

void TRoundRunner::ended(int index)
{
    const auto found = m_active.find(index);
    if (found == m_active.end())
        return;
    TActive active = std::move(found->second);
    m_active.erase(found);
    ++m_ended;
    if (OnRunEnded)
        OnRunEnded(index, active.Entry, active.Run->Round());
    m_finished.push_back(std::move(active.Run));
    reap();
    if (!m_running)
        return;
    if (!m_parallel) {
        post([this] { startNext(); });
    } else if (!m_checkPosted) {
        // Thousands of runs end in a burst; one look at the round's end serves them all, and the queue of
        // posted events stays short enough for the user's events to get through.
        m_checkPosted = true;
        post([this] {
            m_checkPosted = false;
            checkEnd();
        });
    }
}

void TRoundRunner::checkEnd()
{
    if (!m_running || m_nextIndex < m_count || !m_active.empty())
        return;
    m_running = false;
    m_load = nullptr;
    if (OnRoundEnded)
        OnRoundEnded();
}

void TRoundRunner::reap()
{
    if (m_finished.empty() || m_reapPosted)
        return;
    m_reapPosted = true;
    // Whatever round they belonged to, finished runs go.
    post(
        [this] {
            m_reapPosted = false;
            m_finished.clear();
        },
        true);
}
