#include "icmp/raw_client.h"

#include "icmp/millisecond_clock.h"

#include <netinet/in.h>
#include <sys/socket.h>

TRawBase::TRawBase()
    : m_buffer(8192)
{ }

TSocketHandle& TRawBase::AcquireSocket()
{
    if (!m_socket.IsOpen()) {
        m_socket.Open(SOCK_RAW, m_protocol);
        m_ttlSetOn = InvalidSocket;
    }
    // Setting the option again on the same socket would change nothing and cost a system call per step.
    if (m_ttlSetOn != m_socket.SocketId()) {
        const int32_t ttl = m_sendTtl;
        m_socket.SetOption(IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
        m_ttlSetOn = m_socket.SocketId();
    }
    return m_socket;
}

void TRawBase::SendPacket(const std::string& host, int port, const void* buffer, int size)
{
    const std::string address = SharedStack()->ResolveToAddress(host, OnWait);
    m_destination = TSocketStack::TextToAddress(address);
    TSocketHandle& socket = AcquireSocket();
    m_sentAtUs = MicrosecondClock();
    socket.SendDatagram(address, port, buffer, size);
}

int TRawBase::ReadPacket(void* buffer, int length, int timeoutMs)
{
    if (length <= 0 || !buffer)
        return 0;
    if (timeoutMs < 0)
        timeoutMs = m_receiveTimeout;
    if (AcquireSocket().WaitReadable(timeoutMs))
        return AcquireSocket().Receive(buffer, length, 0);
    return 0;
}
