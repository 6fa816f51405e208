#include "app/echo_run.h"

#include "icmp/socket_stack.h"

#include <utility>

TEchoRun::TEchoRun(TNameResolver& resolver, TEchoEngine& engine, TSequenceSource& sequences, std::string host,
                   int count)
    : m_resolver(resolver)
    , m_engine(engine)
    , m_sequences(sequences)
    , m_host(std::move(host))
    , m_count(count)
{ }

TEchoRun::~TEchoRun()
{
    Cancel();
}

void TEchoRun::Cancel()
{
    m_finished = true;
    if (m_lookUp)
        m_resolver.Cancel(std::exchange(m_lookUp, 0));
    if (m_echo)
        m_engine.Cancel(std::exchange(m_echo, 0));
}

void TEchoRun::Start()
{
    // The name is looked up once a run, as each request of the run goes to the same host.
    m_lookUp = m_resolver.Resolve(m_host, std::nullopt, [this](const TResolved& answer) { resolved(answer); });
}

void TEchoRun::resolved(const TResolved& answer)
{
    m_lookUp = 0;
    if (answer.Error || !answer.Address) {
        m_round.Error = answer.Error ? ExceptionText(answer.Error) : std::string("Unknown error");
        finish();
        return;
    }
    m_address = answer.Address;
    m_round.Address = TSocketStack::IpAddressToText(*m_address);
    sendNext();
}

void TEchoRun::sendNext()
{
    TEchoRequest request;
    request.Address = *m_address;
    request.Sequence = m_sequences.Next();
    request.TimeoutMs = ReplyTimeoutMs;
    m_echo = m_engine.Send(request, [this](const TEchoOutcome& outcome) { answered(outcome); });
}

void TEchoRun::answered(const TEchoOutcome& outcome)
{
    m_echo = 0;
    if (outcome.Error) {
        m_round.Error = ExceptionText(outcome.Error);
        finish();
        return;
    }
    m_round.Add(outcome.Status);
    const bool isAnswer = outcome.Status.Outcome == roEchoReply;
    if (OnExchange)
        OnExchange(isAnswer);
    if (m_finished)
        return;
    if (m_round.Sent >= m_count)
        finish();
    else
        sendNext();
}

void TEchoRun::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (OnDone)
        OnDone();
}
