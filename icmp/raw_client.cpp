#include "icmp/raw_client.h"

#include <netinet/in.h>
#include <sys/socket.h>

TRawBase::TRawBase()
    : m_buffer(8192)
{ }

TSocketHandle& TRawBase::AcquireSocket()
{
    const TIpFamily family = m_destination ? m_destination->Family : TIpFamily::IPv4;
    const bool ipv6 = family == TIpFamily::IPv6;
    // A socket left open by a failed exchange may be of the other family.
    if (!m_socket.IsOpen() || m_socket.Family() != family) {
        m_socket.Open(SOCK_RAW, ipv6 && m_protocol == IPPROTO_ICMP ? IPPROTO_ICMPV6 : m_protocol, family);
        m_ttlSetOn = InvalidSocket;
    }
    // Setting the option again on the same socket would change nothing and cost a system call per step.
    if (m_ttlSetOn != m_socket.SocketId()) {
        const int32_t ttl = m_sendTtl;
        if (ipv6)
            m_socket.SetOption(IPPROTO_IPV6, IPV6_UNICAST_HOPS, &ttl, sizeof ttl);
        else
            m_socket.SetOption(IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
        m_ttlSetOn = m_socket.SocketId();
    }
    return m_socket;
}

void TRawBase::SendPacket(const std::string& host, int port, const void* buffer, int size)
{
    SendPacketTo(ResolveDestination(host), port, buffer, size);
}

const TIpAddress& TRawBase::ResolveDestination(const std::string& host)
{
    // A host that no longer resolves has no address; the previous one would be shown as its.
    m_destination.reset();
    m_destination = SharedStack()->ResolveToIpAddress(host, OnWait, m_addressFamily);
    return *m_destination;
}

void TRawBase::SendPacketTo(const TIpAddress& address, int port, const void* buffer, int size)
{
    TSocketHandle& socket = AcquireSocket();
    m_departure = TDeparture::Now();
    socket.SendDatagram(address, port, buffer, size);
}

std::string TRawBase::DestinationText() const
{
    return m_destination ? TSocketStack::IpAddressToText(*m_destination) : std::string();
}

int TRawBase::ReadPacket(void* buffer, int length, int timeoutMs)
{
    if (length <= 0 || !buffer)
        return 0;
    if (timeoutMs < 0)
        timeoutMs = m_receiveTimeout;
    m_lastArrival.reset();
    if (AcquireSocket().WaitReadable(timeoutMs))
        return SharedStack()->ReceiveStamped(Socket().SocketId(), buffer, length, m_lastArrival);
    return 0;
}
