// A component that sends and reads raw IP datagrams, of either family, through its own socket.
#pragma once

#include "icmp/millisecond_clock.h"
#include "icmp/net_component.h"
#include "icmp/socket_handle.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TRawBase : public TNetComponent
{
public:
    TRawBase();

    int32_t ReceiveTimeout() const { return m_receiveTimeout; }
    void SetReceiveTimeout(int32_t milliseconds) { m_receiveTimeout = milliseconds; }
    const std::string& Host() const { return m_host; }
    void SetHost(std::string host) { m_host = std::move(host); }
    int32_t Port() const { return m_port; }
    void SetPort(int32_t port) { m_port = port; }
    int32_t Protocol() const { return m_protocol; }
    void SetProtocol(int32_t protocol) { m_protocol = protocol; }
    int32_t BufferSize() const { return static_cast<int32_t>(m_buffer.size()); }
    int32_t SendTtl() const { return m_sendTtl; }
    // The family hosts are pinged over; nothing takes a name's IPv4 address, or its IPv6 one when it has
    // none, and an address literal of either family.
    std::optional<TIpFamily> AddressFamily() const { return m_addressFamily; }
    void SetAddressFamily(std::optional<TIpFamily> family) { m_addressFamily = family; }

    // Called between the slices of every wait: the name lookup and the wait for an answer. Without one,
    // each wait blocks the calling thread for its whole length.
    TWaitHook OnWait;

    // Opens a socket of the destination's family (IPv4 before the first send) unless one is open, and gives
    // it the time-to-live (the IPv6 hop limit).
    TSocketHandle& AcquireSocket();
    // The socket as it is, open or not.
    const TSocketHandle& Socket() const { return m_socket; }
    // Resolves `host` (before any socket is opened) and sends the datagram.
    void SendPacket(const std::string& host, int port, const void* buffer, int size);
    // The two halves of SendPacket: the address for `host`, kept as Destination(); the send to it.
    const TIpAddress& ResolveDestination(const std::string& host);
    void SendPacketTo(const TIpAddress& address, int port, const void* buffer, int size);
    // The address the last datagram was sent to; nothing before the first send and after a failed lookup.
    const std::optional<TIpAddress>& Destination() const { return m_destination; }
    // The same as text, dotted decimal or IPv6; empty when there is none.
    std::string DestinationText() const;
    // MicrosecondClock() just before the last datagram was handed to the platform.
    uint64_t SentAtUs() const { return m_departure.MonotonicUs; }
    // The same on both clocks.
    const TDeparture& Departure() const { return m_departure; }
    // The bytes of one datagram read within `timeoutMs` (ReceiveTimeout() when negative); 0 when none came.
    int ReadPacket(void* buffer, int length, int timeoutMs);
    // The kernel's arrival stamp of the datagram ReadPacket() read last, where the platform gave one.
    const std::optional<int64_t>& LastArrival() const { return m_lastArrival; }

protected:
    int32_t m_receiveTimeout = 0;
    int32_t m_protocol = 255;

private:
    TSocketHandle m_socket;
    TSocketId m_ttlSetOn = InvalidSocket; // the socket that already carries SendTtl
    int32_t m_sendTtl = 128;
    std::string m_host;
    int32_t m_port = 0;
    std::optional<TIpFamily> m_addressFamily;
    std::optional<TIpAddress> m_destination;
    TDeparture m_departure;
    std::optional<int64_t> m_lastArrival;
    std::vector<uint8_t> m_buffer;
};

// The raw component whose settings its owner fills in.
class TRawClient : public TRawBase
{
};
