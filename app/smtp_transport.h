// Hands one mail to an SMTP server: the seam the alert mailer sends through, and its libcurl implementation.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct TSmtpRequest
{
    std::string Host; // a name, an IPv4 address or an IPv6 address without brackets
    int Port = 587; // 465 speaks TLS from the start; any other port upgrades with STARTTLS
    std::string UserName; // logged in with only when a password is set
    std::string Password;
    std::string From;
    std::vector<std::string> To;
    std::string Message; // headers and body, CRLF line ends
};

struct TMailOutcome
{
    enum class TResult { Sent, Failed, Aborted };
    TResult Result = TResult::Failed;
    std::string Error; // why it was not sent
};

class IMailTransport
{
public:
    virtual ~IMailTransport() = default;
    // Delivers `request` to its server; returns only when the server took it, refused it or gave up.
    virtual TMailOutcome Send(const TSmtpRequest& request) = 0;
};

// libcurl's SMTP, driven from the calling thread beside its event loop. The server's certificate is checked
// against the system's authorities, or those of the PEM file CORVANE_MAIL_CA_FILE names; with a password,
// nothing is sent (the login included) unless the connection is encrypted.
class TSmtpTransport final : public IMailTransport
{
public:
    static constexpr int TimeLimitMs = 15000;

    // `pump` runs between the waits for the server; `aborted` ends a mail on its way when it answers true.
    TSmtpTransport(std::function<void()> pump, std::function<bool()> aborted);

    TMailOutcome Send(const TSmtpRequest& request) override;

private:
    std::function<void()> m_pump;
    std::function<bool()> m_aborted;
};
