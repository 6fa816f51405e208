// A resource whose host line names a port: its host resolved, then its count of TCP connects one after
// another, each answered when the connection stands and not when it is refused or takes over a second.
#pragma once

#include "app/resource_run.h"
#include "icmp/name_resolver.h"
#include "probes/tcp_probe.h"

#include <cstdint>
#include <optional>
#include <string>

class TTcpRun final : public TResourceRun
{
public:
    static constexpr int ConnectTimeoutMs = 1000;

    TTcpRun(TNameResolver& resolver, TTcpProbe& probe, std::string host, uint16_t port, int count);
    ~TTcpRun() override;

    void Start() override;
    void Cancel() override;

private:
    void resolved(const TResolved& answer);
    void connectNext();
    void connected(const TConnectOutcome& outcome);
    void finish();

    TNameResolver& m_resolver;
    TTcpProbe& m_probe;
    std::string m_host;
    uint16_t m_port;
    int m_count;
    std::optional<TIpAddress> m_address;
    TNameResolver::TTicket m_lookUp = 0;
    TTcpProbe::TTicket m_connect = 0;
    std::string m_lastFailure;
    bool m_finished = false;
};

// The socket error's text without its number: "Connection refused.".
std::string SocketErrorWords(int errorNumber);
