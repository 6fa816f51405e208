// The socket primitives on Linux, with errno mapped onto the socket error numbers the messages use.
#pragma once

#include "icmp/socket_stack.h"

#include <mutex>
#include <utility>
#include <vector>

class TSocketStackPosix final : public TSocketStack
{
public:
    TSocketId CreateSocket(TIpFamily family, int type, int protocol) override;
    int SetSocketOption(TSocketId socket, int level, int name, const void* value, int length) override;
    int SendTo(TSocketId socket, const void* buffer, int length, int flags, const TIpAddress& address,
               uint16_t portInNetworkOrder) override;
    int Receive(TSocketId socket, void* buffer, int length, int flags) override;
    int ReceiveStamped(TSocketId socket, void* buffer, int length, std::optional<int64_t>& arrivalNs) override;
    int Select(TSocketSet* readSet, TSocketSet* writeSet, TSocketSet* errorSet,
               const std::optional<TWaitTime>& timeout) override;
    int Shutdown(TSocketId socket, int how) override;
    int CloseSocket(TSocketId socket) override;
    bool GetHostByName(const std::string& name, std::optional<TIpFamily> family, TIpAddress& address) override;
    // The lookup runs on a detached thread: a resolver that never answers must not hold up the program's
    // end, so nobody ever joins it.
    std::shared_ptr<TPendingLookUp> BeginLookUp(const std::string& name, std::optional<TIpFamily> family) override;
    int LastError() override;
    bool FiltersEchoReplies(TSocketId socket) const override { return IsDatagramStandIn(socket); }
    std::string SocketErrorText(int errorNumber) override;

    // Whether `socket` is an unprivileged ICMP datagram socket standing in for a raw one.
    bool IsDatagramStandIn(TSocketId socket) const;

private:
    // Sockets that do not deliver IP headers themselves; a raw IPv4 socket does and is not listed.
    enum class TKind : uint8_t {
        RawIpv6,
        DatagramIpv4,
        DatagramIpv6,
    };

    std::optional<TKind> kindOf(TSocketId socket) const;
    void remember(TSocketId socket, TKind kind);
    int receiveWithHeader(TSocketId socket, TKind kind, void* buffer, int length, int flags,
                          std::optional<int64_t>& arrivalNs);

    mutable std::mutex m_lock;
    // A handful at most, one per client with a socket open: a list is cheaper than any map here.
    std::vector<std::pair<TSocketId, TKind>> m_kinds;
};

// The socket error number for an errno value.
int SocketErrorFromErrno(int errnoValue);
// The socket error number for a getaddrinfo() result.
int SocketErrorFromResolver(int resolverError);
