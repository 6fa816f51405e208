// The longest the event loop went without handling an event while some work ran: posted events every 5 ms,
// and the widest gap between two of them.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <functional>

class StallMeter final : public QObject
{
public:
    static constexpr QEvent::Type Tick = QEvent::User;

    // In milliseconds.
    double Measure(const std::function<void()>& work)
    {
        QTimer poster;
        poster.setTimerType(Qt::PreciseTimer);
        poster.setInterval(5);
        QObject::connect(&poster, &QTimer::timeout, this,
                         [this] { QCoreApplication::postEvent(this, new QEvent(Tick)); });
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        poster.start();
        work();
        poster.stop();
        QCoreApplication::processEvents();
        return m_longest / 1e6;
    }

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != Tick)
            return QObject::event(event);
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
        return true;
    }

private:
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};
