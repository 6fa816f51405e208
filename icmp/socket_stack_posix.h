// The socket primitives on Linux, with errno mapped onto the socket error numbers the messages use.
#pragma once

#include "icmp/socket_stack.h"

#include <mutex>
#include <set>

class TSocketStackPosix final : public TSocketStack
{
public:
    TSocketId CreateSocket(int family, int type, int protocol) override;
    int SetSocketOption(TSocketId socket, int level, int name, const void* value, int length) override;
    int SendTo(TSocketId socket, const void* buffer, int length, int flags, const TAddressBytes& address,
               uint16_t portInNetworkOrder) override;
    int Receive(TSocketId socket, void* buffer, int length, int flags) override;
    int Select(TSocketSet* readSet, TSocketSet* writeSet, TSocketSet* errorSet,
               const std::optional<TWaitTime>& timeout) override;
    int Shutdown(TSocketId socket, int how) override;
    int CloseSocket(TSocketId socket) override;
    bool GetHostByName(const std::string& name, TAddressBytes& address) override;
    // The lookup runs on a detached thread: a resolver that never answers must not hold up the program's
    // end, so nobody ever joins it.
    std::shared_ptr<TPendingLookUp> BeginLookUp(const std::string& name) override;
    int LastError() override;
    bool FiltersEchoReplies(TSocketId socket) const override { return IsDatagramStandIn(socket); }
    std::string SocketErrorText(int errorNumber) override;

    // Whether `socket` is an unprivileged ICMP datagram socket standing in for a raw one.
    bool IsDatagramStandIn(TSocketId socket) const;

private:
    int receiveDatagram(TSocketId socket, void* buffer, int length, int flags);

    mutable std::mutex m_lock;
    std::set<TSocketId> m_datagramSockets;
};

// The socket error number for an errno value.
int SocketErrorFromErrno(int errnoValue);
// The socket error number for a getaddrinfo() result.
int SocketErrorFromResolver(int resolverError);
