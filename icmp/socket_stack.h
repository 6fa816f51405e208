// The socket layer under the echo client: address logic and error reporting over a few platform primitives.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using TSocketId = int;
inline constexpr TSocketId InvalidSocket = -1;

// An IPv4 address as four bytes in network order.
using TAddressBytes = std::array<uint8_t, 4>;

enum class TIpFamily : uint8_t {
    IPv4,
    IPv6,
};

// An address of either family, in network order: IPv4 in the first four bytes, IPv6 in all sixteen, with
// the interface a link-local IPv6 address is reached through (0 for none).
struct TIpAddress
{
    TIpFamily Family = TIpFamily::IPv4;
    std::array<uint8_t, 16> Bytes {};
    uint32_t ScopeId = 0;

    static TIpAddress FromIpv4(const TAddressBytes& bytes);
    static TIpAddress FromIpv6(const uint8_t* bytes, uint32_t scopeId = 0);
    // How many of the bytes are the address: 4 or 16.
    size_t Size() const { return Family == TIpFamily::IPv4 ? 4 : 16; }
    bool operator==(const TIpAddress&) const = default;
};

// Called between the slices of a long wait, so that the caller's thread can do other work meanwhile.
// What it throws ends the wait at once.
using TWaitHook = std::function<void()>;
// The longest a sliced wait goes without calling its hook.
inline constexpr int WaitSliceMs = 15;

// The answer of a name lookup that may still be under way on a thread of its own. The lookup's thread
// and the waiting one share it; a waiter that gives up simply lets go of it.
class TPendingLookUp final
{
public:
    // From any thread, once.
    void Answer(bool found, const TIpAddress& address, int errorNumber);
    // Whether the answer is in, waiting up to `timeoutMs` for it.
    bool WaitFor(int timeoutMs);
    // Calls `answered` once, when the answer is in: at once if it already is, else on the answering thread.
    void WhenAnswered(std::function<void()> answered);

    // Valid once WaitFor() has said yes.
    bool Found() const { return m_found; }
    const TIpAddress& Address() const { return m_address; }
    int ErrorNumber() const { return m_errorNumber; }

private:
    std::mutex m_lock;
    std::condition_variable m_answeredCondition;
    std::function<void()> m_answered;
    bool m_done = false;
    bool m_found = false;
    TIpAddress m_address;
    int m_errorNumber = 0;
};

// A descriptor set of the socket wait: a count and at most 64 sockets.
struct TSocketSet
{
    static constexpr int Capacity = 64;
    int count = 0;
    std::array<TSocketId, Capacity> ids; // the first `count` only; clearing all would cost every wait
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

    // The address text for a host text: "localhost" and address literals need no lookup. With a hook,
    // a lookup runs off the calling thread, which waits for it in slices and calls the hook between them.
    // A chosen family takes only addresses of that family (error 11004 for a literal of the other one).
    std::string ResolveToAddress(const std::string& host, const TWaitHook& waitHook = {},
                                 std::optional<TIpFamily> family = {});
    // The same as an address, without the way through text: every request is sent through here.
    TIpAddress ResolveToIpAddress(const std::string& host, const TWaitHook& waitHook = {},
                                  std::optional<TIpFamily> family = {});
    // The address of "localhost" or of an address literal, which need no lookup; nothing for a name. Raises
    // as ResolveToIpAddress() does for a literal of the other family.
    std::optional<TIpAddress> AddressWithoutLookUp(const std::string& host, std::optional<TIpFamily> family);
    // An IPv4 address in any of the forms ParseAddress() takes.
    static bool IsAddressLiteral(std::string_view text);
    // An IPv6 address, with an optional "%zone" (an interface name or number) after it.
    static bool IsIpv6Literal(std::string_view text);
    // One number, two, three or four parts, each decimal or hex; see the address tests for the forms.
    static bool ParseAddress(std::string_view text, TAddressBytes& bytes);
    // Raises ENetInvalidIPAddress.
    static TAddressBytes TextToAddress(const std::string& text);
    static std::string AddressToText(const uint8_t* bytes);
    // Either family: an IPv4 literal as ParseAddress() reads it, or an IPv6 literal whose zone names an
    // interface. Raises ENetInvalidIPAddress.
    static TIpAddress TextToIpAddress(const std::string& text);
    // Dotted decimal, or the shortest IPv6 form with the zone after it.
    static std::string IpAddressToText(const TIpAddress& address);
    // Raises ENetSocketError with the resolver's number.
    std::string LookUpHostName(const std::string& name, const TWaitHook& waitHook = {},
                               std::optional<TIpFamily> family = {});
    // Starts looking up `name` (GetHostByName). This stack answers at once, on the calling thread; a
    // platform stack may answer from a thread of its own.
    virtual std::shared_ptr<TPendingLookUp> BeginLookUp(const std::string& name, std::optional<TIpFamily> family);

    // Raises ENetInvalidSocket when the platform refuses the socket.
    TSocketId NewSocket(int type, int protocol, TIpFamily family = TIpFamily::IPv4);
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
    virtual TSocketId CreateSocket(TIpFamily family, int type, int protocol) = 0;
    virtual int SetSocketOption(TSocketId socket, int level, int name, const void* value, int length) = 0;
    virtual int SendTo(TSocketId socket, const void* buffer, int length, int flags, const TIpAddress& address,
                       uint16_t portInNetworkOrder)
        = 0;
    virtual int Receive(TSocketId socket, void* buffer, int length, int flags) = 0;
    // One datagram that is already waiting, as Receive() gives it, without waiting for one: 0, or -1 with
    // 10035, when none is. `arrivalNs` gets the kernel's arrival stamp (CLOCK_REALTIME nanoseconds) where
    // the platform gives one, and nothing otherwise.
    virtual int ReceiveStamped(TSocketId socket, void* buffer, int length, std::optional<int64_t>& arrivalNs);
    virtual int Select(TSocketSet* readSet, TSocketSet* writeSet, TSocketSet* errorSet,
                       const std::optional<TWaitTime>& timeout)
        = 0;
    virtual int Shutdown(TSocketId socket, int how) = 0;
    virtual int CloseSocket(TSocketId socket) = 0;
    // The address of a chosen family; without one, the name's first IPv4 address, or its first IPv6
    // address when it has none. One lookup either way: a name in the hosts file must not wait for a name
    // server that does not answer before its IPv6 address is found.
    virtual bool GetHostByName(const std::string& name, std::optional<TIpFamily> family, TIpAddress& address) = 0;
    virtual int LastError() = 0;
    // Whether the platform itself delivers on `socket` only the echo replies that carry its own identifier,
    // as an ICMP datagram socket does: their identifier is then the platform's, not the request's.
    // Receive() gives every datagram with its IP header in front, whatever the socket's kind and family.
    virtual bool FiltersEchoReplies(TSocketId) const { return false; }

protected:
    // The texts every stack shares; a stack answers its own numbers first.
    static std::string BaseErrorText(int errorNumber);

private:
    TIpAddress lookUp(const std::string& name, const TWaitHook& waitHook, std::optional<TIpFamily> family);
};
