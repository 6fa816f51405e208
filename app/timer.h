// A repeating timer with the monitoring timer's rules: an interval of 0 never fires,
// and switching it on starts a full interval.
#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>

class TTimer final : public QObject
{
public:
    explicit TTimer(QObject* parent = nullptr);

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);

    uint32_t Interval() const { return m_interval; }
    void SetInterval(uint32_t milliseconds);

    // Called on every tick; what it raises goes to the application's error box.
    std::function<void()> OnTimer;

private:
    void restart();

    QTimer m_timer;
    bool m_enabled = false;
    uint32_t m_interval = 1000;
};
