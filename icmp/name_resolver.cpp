#include "icmp/name_resolver.h"

#include "icmp/net_component.h"
#include "icmp/net_exceptions.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <unordered_map>

namespace {

// No answer from a name server: what a lookup that outlasts its bound is answered with.
constexpr int NoAnswerError = 11002;

} // namespace

class TNameResolver::TImpl
{
public:
    TImpl(TEventLoop& loop, int parallel)
        : m_loop(loop)
        , m_parallel(std::max(parallel, 1))
        , m_shared(std::make_shared<TShared>())
    {
        m_shared->loop = &loop;
        m_shared->owner = this;
    }

    ~TImpl()
    {
        {
            // A lookup's thread that is answering now finishes its Post first; later ones find nobody.
            std::lock_guard guard(m_shared->lock);
            m_shared->loop = nullptr;
        }
        m_shared->owner = nullptr;
        for (const auto& [ticket, bound] : m_running)
            m_loop.CancelTimer(bound);
    }

    TTicket resolve(const std::string& host, std::optional<TIpFamily> family, TDone done)
    {
        const TTicket ticket = ++m_lastTicket;
        m_waiting.emplace(ticket, TWaiting {host, family, std::move(done)});
        std::optional<TResolved> known;
        try {
            if (const std::optional<TIpAddress> address = SharedStack()->AddressWithoutLookUp(host, family))
                known = TResolved {address, nullptr};
        } catch (const ENetException&) {
            known = TResolved {std::nullopt, std::current_exception()};
        }
        if (!known) {
            m_queue.push_back(ticket);
            startLookUps();
        } else {
            m_loop.Post([shared = m_shared, ticket, resolved = std::move(*known)] {
                if (shared->owner)
                    shared->owner->answer(ticket, resolved);
            });
        }
        return ticket;
    }

    void cancel(TTicket ticket)
    {
        // A lookup under way keeps its turn until it answers or outlasts its bound: its thread still runs.
        m_waiting.erase(ticket);
    }

    void setBound(TEventLoop::TClock::duration bound) { m_bound = bound; }

private:
    struct TWaiting
    {
        std::string Host;
        std::optional<TIpFamily> Family;
        TDone Done;
    };

    // What the lookups' threads share with the loop's: the loop to post their answers to while there is
    // a resolver to take them.
    struct TShared
    {
        std::mutex lock;
        TEventLoop* loop = nullptr; // under the lock
        TImpl* owner = nullptr; // on the loop's thread only
    };

    void startLookUps()
    {
        while (static_cast<int>(m_running.size()) < m_parallel && !m_queue.empty()) {
            const TTicket ticket = m_queue.front();
            m_queue.pop_front();
            const auto found = m_waiting.find(ticket);
            if (found != m_waiting.end())
                begin(ticket, found->second);
        }
    }

    void begin(TTicket ticket, const TWaiting& waiting)
    {
        m_running[ticket] = m_loop.StartTimer(m_bound, [this, ticket] {
            if (m_running.erase(ticket))
                finish(ticket, failure(NoAnswerError));
        });
        // The platform's stack looks the name up on a thread of its own, which may outlive us all.
        const std::shared_ptr<TPendingLookUp> lookUp = SharedStack()->BeginLookUp(waiting.Host, waiting.Family);
        lookUp->WhenAnswered([shared = m_shared, ticket, weak = std::weak_ptr<TPendingLookUp>(lookUp)] {
            const std::shared_ptr<TPendingLookUp> answered = weak.lock();
            std::lock_guard guard(shared->lock);
            if (!answered || !shared->loop)
                return;
            shared->loop->Post([shared, ticket, found = answered->Found(), address = answered->Address(),
                                error = answered->ErrorNumber()] {
                if (TImpl* owner = shared->owner)
                    owner->looked(ticket, found, address, error);
            });
        });
    }

    void looked(TTicket ticket, bool found, const TIpAddress& address, int error)
    {
        const auto running = m_running.find(ticket);
        // Answered after its bound: the turn and the answer are gone.
        if (running == m_running.end())
            return;
        m_loop.CancelTimer(running->second);
        m_running.erase(running);
        finish(ticket, found ? TResolved {address, nullptr} : failure(error));
    }

    TResolved failure(int error) const
    {
        return {std::nullopt, std::make_exception_ptr(ENetSocketError(error, SharedStack()->SocketErrorText(error)))};
    }

    // A lookup's turn is over: the next one starts before the answer is told, which may end the resolver.
    void finish(TTicket ticket, const TResolved& resolved)
    {
        startLookUps();
        answer(ticket, resolved);
    }

    void answer(TTicket ticket, const TResolved& resolved)
    {
        const auto found = m_waiting.find(ticket);
        if (found == m_waiting.end())
            return;
        const TDone done = std::move(found->second.Done);
        m_waiting.erase(found);
        if (done)
            done(resolved);
    }

    TEventLoop& m_loop;
    TNetComponent m_stackUser; // keeps the shared stack for the lookups
    const int m_parallel;
    TEventLoop::TClock::duration m_bound = DefaultLookUpBound;
    TTicket m_lastTicket = 0;
    std::unordered_map<TTicket, TWaiting> m_waiting; // every ticket not yet answered nor cancelled
    std::deque<TTicket> m_queue; // waiting for a turn
    std::unordered_map<TTicket, TEventLoop::THandle> m_running; // lookups under way, with their bound's timer
    std::shared_ptr<TShared> m_shared;
};

TNameResolver::TNameResolver(TEventLoop& loop, int parallel)
    : m_impl(std::make_unique<TImpl>(loop, parallel))
{ }

TNameResolver::~TNameResolver() = default;

TNameResolver::TTicket TNameResolver::Resolve(const std::string& host, std::optional<TIpFamily> family, TDone done)
{
    return m_impl->resolve(host, family, std::move(done));
}

void TNameResolver::Cancel(TTicket ticket)
{
    m_impl->cancel(ticket);
}

void TNameResolver::SetLookUpBound(TEventLoop::TClock::duration bound)
{
    m_impl->setBound(bound);
}
