// A resource pinged: its host resolved, then its count of echo requests one after another, each waiting
// for its answer or its time-out.
#pragma once

#include "app/resource_run.h"
#include "icmp/echo_engine.h"
#include "icmp/name_resolver.h"

#include <cstdint>
#include <optional>
#include <string>

class TEchoRun final : public TResourceRun
{
public:
    static constexpr int ReplyTimeoutMs = 1000;

    TEchoRun(TNameResolver& resolver, TEchoEngine& engine, TSequenceSource& sequences, std::string host, int count);
    ~TEchoRun() override;

    void Start() override;
    void Cancel() override;

private:
    void resolved(const TResolved& answer);
    void sendNext();
    void answered(const TEchoOutcome& outcome);
    void finish();

    TNameResolver& m_resolver;
    TEchoEngine& m_engine;
    TSequenceSource& m_sequences;
    std::string m_host;
    int m_count;
    std::optional<TIpAddress> m_address;
    TNameResolver::TTicket m_lookUp = 0;
    TEchoEngine::TTicket m_echo = 0;
    bool m_finished = false;
};
