// One socket owned by a network component; destroying the handle closes it.
#pragma once

#include "icmp/socket_stack.h"

#include <string>

class TSocketHandle
{
public:
    TSocketHandle() = default;
    ~TSocketHandle();
    TSocketHandle(const TSocketHandle&) = delete;
    TSocketHandle& operator=(const TSocketHandle&) = delete;

    TSocketId SocketId() const { return m_socketId; }
    bool IsOpen() const { return m_isOpen; }
    // The family of the socket last opened.
    TIpFamily Family() const { return m_family; }

    // Closes any open socket, then opens a new one. Raises ENetInvalidSocket.
    void Open(int type, int protocol, TIpFamily family = TIpFamily::IPv4);
    // Shuts the socket down for sending and closes it; results are not looked at.
    void Close();
    // Raises ENetSocketError.
    void SetOption(int level, int name, const void* value, int length);
    // To an address text of either family. Raises ENetInvalidIPAddress, ENetPackageSizeTooBig,
    // ENetSocketError or ENetNotAllBytesSent.
    void SendDatagram(const std::string& address, int port, const void* buffer, int size);
    // The same to an address already read.
    void SendDatagram(const TIpAddress& address, int port, const void* buffer, int size);
    // The byte count, or -1.
    int Receive(void* buffer, int length, int flags);
    // Whether a datagram can be read within `timeoutMs`; raises ENetConnClosedGracefully on a closed handle.
    bool WaitReadable(int timeoutMs);

private:
    TSocketId m_socketId = InvalidSocket;
    bool m_isOpen = false;
    TIpFamily m_family = TIpFamily::IPv4;
};
