// The echo engine's event loop on Qt's: socket notifiers, precise single-shot timers and queued calls, so
// that rounds run as events of the program's one loop and never as waits that dispatch events.
#pragma once

#include "icmp/event_loop.h"

#include <QObject>

#include <memory>
#include <unordered_map>

class QSocketNotifier;
class QTimer;

class TQtEventLoop final : public TEventLoop
{
public:
    TQtEventLoop();
    ~TQtEventLoop() override;

    THandle Watch(int fd, TIo io, std::function<void()> ready) override;
    void Unwatch(THandle watch) override;
    THandle StartTimer(TClock::duration after, std::function<void()> fire) override;
    void CancelTimer(THandle timer) override;
    void Post(std::function<void()> task) override;

private:
    THandle next() { return ++m_last; }

    // Owns what is posted and gives queued calls an object that dies with this loop.
    std::unique_ptr<QObject> m_context;
    THandle m_last = 0;
    std::unordered_map<THandle, QSocketNotifier*> m_watches;
    std::unordered_map<THandle, QTimer*> m_timers;
};
