#include "probes/tcp_run.h"

#include "icmp/socket_stack_posix.h"

#include <utility>

std::string SocketErrorWords(int errorNumber)
{
    TSocketStackPosix stack;
    const std::string text = stack.SocketErrorText(errorNumber);
    const size_t lineEnd = text.find("\r\n");
    return lineEnd == std::string::npos || lineEnd + 2 >= text.size() ? text : text.substr(lineEnd + 2);
}

TTcpRun::TTcpRun(TNameResolver& resolver, TTcpProbe& probe, std::string host, uint16_t port, int count)
    : m_resolver(resolver)
    , m_probe(probe)
    , m_host(std::move(host))
    , m_port(port)
    , m_count(count)
{
    m_round.Check = "TCP " + std::to_string(port);
}

TTcpRun::~TTcpRun()
{
    Cancel();
}

void TTcpRun::Cancel()
{
    m_finished = true;
    if (m_lookUp)
        m_resolver.Cancel(std::exchange(m_lookUp, 0));
    if (m_connect)
        m_probe.Cancel(std::exchange(m_connect, 0));
}

void TTcpRun::Start()
{
    m_lookUp = m_resolver.Resolve(m_host, std::nullopt, [this](const TResolved& answer) { resolved(answer); });
}

void TTcpRun::resolved(const TResolved& answer)
{
    m_lookUp = 0;
    if (answer.Error || !answer.Address) {
        m_round.Error = answer.Error ? ExceptionText(answer.Error) : std::string("Unknown error");
        finish();
        return;
    }
    m_address = answer.Address;
    m_round.Address = TSocketStack::IpAddressToText(*m_address);
    connectNext();
}

void TTcpRun::connectNext()
{
    m_connect = m_probe.Connect(*m_address, m_port, ConnectTimeoutMs,
                                [this](const TConnectOutcome& outcome) { connected(outcome); });
}

void TTcpRun::connected(const TConnectOutcome& outcome)
{
    m_connect = 0;
    TReplyStatus status;
    switch (outcome.Kind) {
    case TConnectOutcome::TKind::Connected:
        status.Outcome = roEchoReply;
        status.RoundTripUs = outcome.RoundTripUs;
        break;
    case TConnectOutcome::TKind::TimedOut:
        status.Outcome = roTimeOut;
        m_lastFailure = "Connection timed out.";
        break;
    case TConnectOutcome::TKind::Refused:
    case TConnectOutcome::TKind::Failed:
        status.Outcome = roUnreachable;
        m_lastFailure = SocketErrorWords(outcome.ErrorNumber);
        break;
    }
    m_round.Add(status);
    if (OnExchange)
        OnExchange(status.Outcome == roEchoReply);
    if (m_finished)
        return;
    if (m_round.Sent >= m_count)
        finish();
    else
        connectNext();
}

void TTcpRun::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    // A port that never answered says why in its tip; one that answered at all is up.
    if (!m_round.Up() && m_round.Error.empty())
        m_round.Error = m_lastFailure;
    if (OnDone)
        OnDone();
}
