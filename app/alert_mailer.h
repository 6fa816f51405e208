// The alert mails: one per round with changes, sent through the mail server of the settings one after
// another, never blocking the caller's event loop. A failure goes to standard error every time and to the
// user once, until a mail goes through again.
#pragma once

#include "app/alert_settings.h"
#include "app/resource_states.h"
#include "app/smtp_transport.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A mail ready for its server, or why there is none.
struct TPreparedMail
{
    TSmtpRequest Request;
    std::string Error;
};

inline constexpr int DefaultMailPort = 587;

TPreparedMail PrepareAlertMail(const TAlertSettings& settings, const std::vector<TStateChange>& changes,
                               TWallClock::time_point now, const std::string& messageId);

class TAlertMailer final
{
public:
    explicit TAlertMailer(std::unique_ptr<IMailTransport> transport);

    // Sends the mail about `changes`. A call made while a mail is on its way (from the event loop the
    // transport keeps running) queues its mail behind it and returns at once.
    void Send(const TAlertSettings& settings, const std::vector<TStateChange>& changes);

    // A mail is on its way.
    bool Sending() const { return m_sending; }

    // The first failure since start or since the last mail that went through.
    std::function<void(const std::string& reason)> OnFailureNotice;

private:
    void deliver(const TPreparedMail& mail);
    void failed(const std::string& reason);

    std::unique_ptr<IMailTransport> m_transport;
    std::deque<TPreparedMail> m_queue;
    bool m_sending = false;
    bool m_failureShown = false;
    unsigned m_count = 0;
};
