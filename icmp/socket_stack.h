// The socket layer under the echo client: address logic and error reporting over a few platform primitives.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using TSocketId = int;
inline constexpr TSocketId InvalidSocket = -1;

// An IPv4 address as four bytes in network order.
using TAddressBytes = std::array<uint8_t, 4>;

// A descriptor set of the socket wait: a count and at most 64 sockets.
struct TSocketSet
{
    static constexpr int Capacity = 64;
    int count = 0;
    std::array<TSocketId, Capacity> ids {};
};

// The wait's time limit; nothing means no limit.
struct TWaitTime
{
    long seconds;
    long microseconds;
};

class TSocketStack
{
public:
    virtual ~TSocketStack() = default;

    // The dotted address for a host text: "localhost" and address literals need no lookup.
    std::string ResolveToAddress(const std::string& host);
    static bool IsAddressLiteral(std::string_view text);
    // One number, two, three or four parts, each decimal or hex; see the address tests for the forms.
    static bool ParseAddress(std::string_view text, TAddressBytes& bytes);
    // Raises ENetInvalidIPAddress.
    static TAddressBytes TextToAddress(const std::string& text);
    static std::string AddressToText(const uint8_t* bytes);
    // Raises ENetSocketError with the resolver's number.
    std::string LookUpHostName(const std::string& name);

    // Raises ENetInvalidSocket when the platform refuses the socket.
    TSocketId NewSocket(int type, int protocol);
    // Raises ENetSocketError for a result of -1, with the calling thread's last error.
    void CheckSocketResult(int result);
    [[noreturn]] void ThrowSocketError(int errorNumber);
    // "Socket Error # %d\r\n%s"
    virtual std::string SocketErrorText(int errorNumber);

    // Absent lists are empty; a list of more than 64 raises ENetStackSetSizeExceeded. A time-out of -2
    // waits without limit. Each list keeps the sockets that are ready; the wait's result is returned.
    int WaitForSockets(std::vector<TSocketId>* readList, std::vector<TSocketId>* writeList,
                       std::vector<TSocketId>* errorList, int timeoutMs);

    // The platform primitives. Failures return -1 (or false) and leave the error for LastError().
    virtual TSocketId CreateSocket(int family, int type, int protocol) = 0;
    virtual int SetSocketOption(TSocketId socket, int level, int name, const void* value, int length) = 0;
    virtual int SendTo(TSocketId socket, const void* buffer, int length, int flags, const TAddressBytes& address,
                       uint16_t portInNetworkOrder)
        = 0;
    virtual int Receive(TSocketId socket, void* buffer, int length, int flags) = 0;
    virtual int Select(TSocketSet* readSet, TSocketSet* writeSet, TSocketSet* errorSet,
                       const std::optional<TWaitTime>& timeout)
        = 0;
    virtual int Shutdown(TSocketId socket, int how) = 0;
    virtual int CloseSocket(TSocketId socket) = 0;
    virtual bool GetHostByName(const std::string& name, TAddressBytes& address) = 0;
    virtual int LastError() = 0;

protected:
    // The texts every stack shares; a stack answers its own numbers first.
    static std::string BaseErrorText(int errorNumber);
};
