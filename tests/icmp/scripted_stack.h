// A socket stack whose primitives follow a script: datagrams arrive at chosen times on a fake clock,
// and every call is recorded. Installed as the shared stack for the length of a test.
#pragma once

#include "icmp/event_loop.h"
#include "icmp/net_component.h"
#include "icmp/socket_stack.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

struct ScriptedDatagram
{
    uint32_t arrivesAtMs;
    std::vector<uint8_t> bytes;
};

struct ScriptState
{
    uint32_t nowMs = 1000;
    std::deque<ScriptedDatagram> incoming;
    std::vector<std::vector<uint8_t>> sent;
    std::vector<TIpAddress> sentTo;
    std::vector<TSocketId> opened;
    std::vector<std::pair<TIpFamily, int>> openedAs; // family and protocol of each opened socket
    std::set<TSocketId> open;
    std::vector<long> waits; // each wait's time limit in ms, -1 for none
    std::map<std::string, TAddressBytes> hosts;
    std::map<std::string, std::string> hosts6; // names with an IPv6 address, as text
    int lookups = 0;
    // Lookups then wait until the test answers them.
    bool holdLookUps = false;
    std::vector<std::pair<std::string, std::shared_ptr<TPendingLookUp>>> heldLookUps;

    int resolverError = 11001;
    bool refuseSockets = false;
    int sendResult = 0; // 0: all bytes; -1 fails with sendError; other: that many bytes
    int sendError = 0;
    int receiveResult = 0; // -1 makes a read fail with receiveError
    int receiveError = 0;
    int lastError = 0;
    TSocketId nextId = 100;
};

class ScriptedStack final : public TSocketStack
{
public:
    explicit ScriptedStack(std::shared_ptr<ScriptState> state)
        : m_state(std::move(state))
    { }

    TSocketId CreateSocket(TIpFamily family, int type, int protocol) override;
    int SetSocketOption(TSocketId, int, int, const void*, int) override { return 0; }
    int SendTo(TSocketId socket, const void* buffer, int length, int flags, const TIpAddress& address,
               uint16_t port) override;
    int Receive(TSocketId socket, void* buffer, int length, int flags) override;
    // As the platform stamps them: the moment each datagram arrived, on the fake clock.
    int ReceiveStamped(TSocketId socket, void* buffer, int length, std::optional<int64_t>& arrivalNs) override;
    int Select(TSocketSet* readSet, TSocketSet* writeSet, TSocketSet* errorSet,
               const std::optional<TWaitTime>& timeout) override;
    int Shutdown(TSocketId, int) override { return 0; }
    int CloseSocket(TSocketId socket) override
    {
        m_state->open.erase(socket);
        return 0;
    }
    bool GetHostByName(const std::string& name, std::optional<TIpFamily> family, TIpAddress& address) override;
    std::shared_ptr<TPendingLookUp> BeginLookUp(const std::string& name, std::optional<TIpFamily> family) override;
    int LastError() override { return m_state->lastError; }

    // Like the platform's stack, the resolver's "not found" has its own text.
    std::string SocketErrorText(int errorNumber) override
    {
        return errorNumber == 11001 ? "Socket Error # 11001\r\nHost not found."
                                    : TSocketStack::SocketErrorText(errorNumber);
    }

private:
    std::shared_ptr<ScriptState> m_state;
};

// An event loop on the scripted network's clock: watched sockets are ready when a datagram has arrived,
// timers fire on the fake clock, and time moves on to whichever comes first. One thread only.
class ScriptedLoop final : public TEventLoop
{
public:
    explicit ScriptedLoop(ScriptState& state)
        : m_state(state)
    { }

    THandle Watch(int fd, TIo io, std::function<void()> ready) override;
    void Unwatch(THandle watch) override { m_watches.erase(watch); }
    THandle StartTimer(TClock::duration after, std::function<void()> fire) override;
    void CancelTimer(THandle timer) override { m_timers.erase(timer); }
    void Post(std::function<void()> task) override { m_posted.push_back(std::move(task)); }

    // Does all that falls due within the next `ms`, which then have passed.
    void RunFor(uint32_t ms);
    // Runs until `done` holds; false when nothing is left to do within `limitMs` before it does.
    bool RunUntil(const std::function<bool()>& done, uint32_t limitMs = 3600000);
    size_t Timers() const { return m_timers.size(); }

private:
    // Does the next thing due by `end`, moving the clock on to it; false when nothing is.
    bool step(uint32_t end);

    ScriptState& m_state;
    THandle m_last = 0;
    std::map<THandle, std::function<void()>> m_watches;
    std::map<THandle, std::pair<uint64_t, std::function<void()>>> m_timers; // due in microseconds
    std::deque<std::function<void()>> m_posted;
};

// A datagram that looks like an answer to the request with a given sequence number to 127.0.0.1 or ::1,
// and is none.
struct ForeignCase
{
    const char* what;
    bool ipv6;
    std::vector<uint8_t> bytes;
};

// Installs a scripted stack and its fake clock while it lives.
class ScriptedNetwork
{
public:
    ScriptedNetwork();
    ~ScriptedNetwork();

    ScriptState& state() { return *m_state; }

    // An IPv4 datagram carrying an ICMP message: header length 20, the given TTL and source.
    static std::vector<uint8_t> Datagram(uint8_t type, const std::vector<uint8_t>& icmpBody, uint8_t ttl = 64,
                                         TAddressBytes source = {127, 0, 0, 1});
    // An echo reply answering `sequence`, with the 52-byte layout of our requests and this process's
    // identifier.
    static std::vector<uint8_t> EchoReply(uint16_t sequence, uint8_t ttl = 64, TAddressBytes source = {127, 0, 0, 1});
    // A type 3 or 11 message carrying the header and first 8 bytes of our request with `sequence` to
    // `destination`.
    static std::vector<uint8_t> ErrorAbout(uint8_t type, uint16_t sequence, TAddressBytes reporter, bool cut = false,
                                           TAddressBytes destination = {127, 0, 0, 1});
    // `datagram` (IPv4) with its ICMP sum made right again after a change.
    static std::vector<uint8_t> WithChecksum(std::vector<uint8_t> datagram);
    // `datagram` with `optionBytes` of no-operation IP options added to the IPv4 header at `headerAt`.
    static std::vector<uint8_t> WithIpOptions(std::vector<uint8_t> datagram, int optionBytes, size_t headerAt = 0);
    static uint16_t OwnIdentifier();
    // `datagram` (IPv4 header, ICMP message) as its IPv6 counterpart: a 40-byte header with the hop limit
    // and addresses of `source` and `destination`, the ICMPv6 types (echo reply 129, unreachable 1, time
    // exceeded 3), and in an error the copy of our request the same way.
    static std::vector<uint8_t> AsIpv6(const std::vector<uint8_t>& datagram, const std::string& source,
                                       const std::string& destination = "::1");

    // The true echo reply from 127.0.0.1 or ::1, and what must not be taken for it.
    static std::vector<uint8_t> LoopbackReply(bool ipv6, uint16_t sequence);
    static std::vector<ForeignCase> ForeignDatagrams(uint16_t sequence);

    void Arrive(uint32_t afterMs, std::vector<uint8_t> bytes);

private:
    std::shared_ptr<ScriptState> m_state;
};
