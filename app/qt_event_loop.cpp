#include "app/qt_event_loop.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <chrono>

TQtEventLoop::TQtEventLoop()
    : m_context(std::make_unique<QObject>())
{ }

TQtEventLoop::~TQtEventLoop()
{
    // The notifiers and timers are children of the context and go with it; nothing fires after this.
    m_watches.clear();
    m_timers.clear();
}

TEventLoop::THandle TQtEventLoop::Watch(int fd, TIo io, std::function<void()> ready)
{
    auto* notifier
        = new QSocketNotifier(fd, io == TIo::Read ? QSocketNotifier::Read : QSocketNotifier::Write, m_context.get());
    const THandle handle = next();
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [ready = std::move(ready)] { ready(); });
    m_watches.emplace(handle, notifier);
    return handle;
}

void TQtEventLoop::Unwatch(THandle watch)
{
    const auto found = m_watches.find(watch);
    if (found == m_watches.end())
        return;
    // The watch may be removed from inside its own callback: the notifier is only let go of here.
    found->second->setEnabled(false);
    found->second->deleteLater();
    m_watches.erase(found);
}

TEventLoop::THandle TQtEventLoop::StartTimer(TClock::duration after, std::function<void()> fire)
{
    auto* timer = new QTimer(m_context.get());
    timer->setSingleShot(true);
    // A coarse timer may fire up to 5 % late, which on a time-out of one second is a fiftieth of it.
    timer->setTimerType(Qt::PreciseTimer);
    const THandle handle = next();
    QObject::connect(timer, &QTimer::timeout, timer, [this, handle, fire = std::move(fire)] {
        // Gone from the table before the callback runs, so that it may start timers of its own freely.
        const auto found = m_timers.find(handle);
        if (found == m_timers.end())
            return;
        QTimer* self = found->second;
        m_timers.erase(found);
        self->deleteLater();
        fire();
    });
    m_timers.emplace(handle, timer);
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(std::max(after, TClock::duration::zero()));
    timer->start(std::chrono::milliseconds(ms.count()));
    return handle;
}

void TQtEventLoop::CancelTimer(THandle timer)
{
    const auto found = m_timers.find(timer);
    if (found == m_timers.end())
        return;
    found->second->stop();
    found->second->deleteLater();
    m_timers.erase(found);
}

void TQtEventLoop::Post(std::function<void()> task)
{
    QMetaObject::invokeMethod(m_context.get(), std::move(task), Qt::QueuedConnection);
}
