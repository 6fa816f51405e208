#include "app/alert_mailer.h"

#include "app/alert_texts.h"
#include "app/mail_message.h"
#include "platform/int_conversion.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <unistd.h>

namespace {

// A name or an IPv4 address, or an IPv6 address: nothing a URL would take apart.
bool validServer(const std::string& host)
{
    const bool name = std::all_of(host.begin(), host.end(),
                                  [](unsigned char c) { return std::isalnum(c) || c == '.' || c == '-' || c == '_'; });
    const bool address6 = host.find(':') != std::string::npos
        && std::all_of(host.begin(), host.end(),
                       [](unsigned char c) { return std::isxdigit(c) || c == ':' || c == '.'; });
    return !host.empty() && (name || address6);
}

std::string quoted(const std::string& text)
{
    return "\u00ab" + CleanText(text) + "\u00bb";
}

} // namespace

TPreparedMail PrepareAlertMail(const TAlertSettings& settings, const std::vector<TStateChange>& changes,
                               TWallClock::time_point now, const std::string& messageId)
{
    TPreparedMail mail;
    TSmtpRequest& request = mail.Request;
    if (!validServer(settings.MailHost)) {
        mail.Error = "server di posta non valido: " + quoted(settings.MailHost);
        return mail;
    }
    request.Host = settings.MailHost;
    int32_t port = DefaultMailPort;
    if (!settings.MailPort.empty() && (!TryStrToInt(settings.MailPort, port) || port < 1 || port > 65535)) {
        mail.Error = "porta del server di posta non valida: " + quoted(settings.MailPort);
        return mail;
    }
    request.Port = port;
    if (!IsMailAddress(settings.MailUserName)) {
        mail.Error = settings.MailUserName.empty()
            ? std::string("manca lo Username, l'indirizzo da cui partono le mail")
            : "lo Username " + quoted(settings.MailUserName) + " non \u00e8 un indirizzo di posta";
        return mail;
    }
    request.UserName = settings.MailUserName;
    request.Password = settings.MailPassword;
    request.From = settings.MailUserName;
    TMailAddressList to = ParseMailAddresses(settings.MailTo);
    if (!to.Invalid.empty() || to.Addresses.empty()) {
        mail.Error = to.Addresses.empty() && to.Invalid.empty() ? std::string("nessun destinatario")
                                                                : "destinatario non valido: " + quoted(to.Invalid);
        return mail;
    }
    request.To = std::move(to.Addresses);
    const std::string domain = request.From.substr(request.From.rfind('@') + 1);
    request.Message = ComposeMail(
        {request.From, request.To, AlertMailSubject(changes), AlertMailBody(changes), now, messageId + "@" + domain});
    return mail;
}

TAlertMailer::TAlertMailer(std::unique_ptr<IMailTransport> transport)
    : m_transport(std::move(transport))
{ }

void TAlertMailer::Send(const TAlertSettings& settings, const std::vector<TStateChange>& changes)
{
    if (changes.empty())
        return;
    const auto now = TWallClock::now();
    const std::string id = "corvane." + std::to_string(::getpid()) + "."
        + std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count()) + "."
        + std::to_string(++m_count);
    m_queue.push_back(PrepareAlertMail(settings, changes, now, id));
    if (m_sending)
        return;
    m_sending = true;
    struct TSendingEnd
    {
        bool& sending;
        ~TSendingEnd() { sending = false; }
    } end {m_sending};
    while (!m_queue.empty()) {
        const TPreparedMail mail = std::move(m_queue.front());
        m_queue.pop_front();
        deliver(mail);
    }
}

void TAlertMailer::deliver(const TPreparedMail& mail)
{
    if (!mail.Error.empty()) {
        failed(mail.Error);
        return;
    }
    const TMailOutcome outcome = m_transport->Send(mail.Request);
    switch (outcome.Result) {
    case TMailOutcome::TResult::Sent:
        m_failureShown = false;
        break;
    case TMailOutcome::TResult::Failed:
        failed(outcome.Error);
        break;
    case TMailOutcome::TResult::Aborted:
        // The program is closing: what waits behind goes unsent too, and the user is not bothered.
        std::fprintf(stderr, "Corvane: mail di avviso non inviata: il programma si chiude\n");
        m_queue.clear();
        break;
    }
}

void TAlertMailer::failed(const std::string& reason)
{
    std::fprintf(stderr, "Corvane: mail di avviso non inviata: %s\n", reason.c_str());
    std::fflush(stderr);
    if (m_failureShown)
        return;
    m_failureShown = true;
    if (OnFailureNotice)
        OnFailureNotice(reason);
}
