// Logout, shutdown and Ctrl+C ask the program to close the way its own "Esci" does, so nothing is lost.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Catches SIGTERM, SIGHUP and SIGINT. The handler only writes the signal's number into a pipe; the event loop
// reads it and raises OnQuitRequested, where any work is safe. Once a close was asked for, the signals get
// their default action back, so a second one ends a program that does not manage to close.
class TQuitSignals final : public QObject
{
public:
    explicit TQuitSignals(QObject* parent = nullptr);
    // Gives the signals back their previous handling.
    ~TQuitSignals() override;
    TQuitSignals(const TQuitSignals&) = delete;
    TQuitSignals& operator=(const TQuitSignals&) = delete;

    std::function<void(int signal)> OnQuitRequested;

private:
    void readPipe();
    void restoreHandlers();

    QSocketNotifier* m_notifier = nullptr;
    bool m_installed = false;
};
