#include "app/timer.h"

#include <climits>

TTimer::TTimer(QObject* parent)
    : QObject(parent)
{
    // A coarse timer may fire up to 5 % early; a round must come one full interval after the last.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (OnTimer)
            OnTimer();
    });
}

void TTimer::SetEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    restart();
}

void TTimer::SetInterval(uint32_t milliseconds)
{
    if (milliseconds == m_interval)
        return;
    m_interval = milliseconds;
    restart();
}

void TTimer::restart()
{
    m_timer.stop();
    // Intervals beyond Qt's signed range are weeks long; they are kept at the longest Qt allows.
    if (m_enabled && m_interval > 0)
        m_timer.start(static_cast<int>(std::min<uint32_t>(m_interval, INT_MAX)));
}
