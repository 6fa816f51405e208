#include "tests/icmp/scripted_stack.h"

#include "icmp/echo_message.h"
#include "icmp/millisecond_clock.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>

TSocketId ScriptedStack::CreateSocket(TIpFamily family, int, int protocol)
{
    if (m_state->refuseSockets) {
        m_state->lastError = 10013;
        return InvalidSocket;
    }
    const TSocketId id = m_state->nextId++;
    m_state->opened.push_back(id);
    m_state->openedAs.emplace_back(family, protocol);
    m_state->open.insert(id);
    return id;
}

int ScriptedStack::SendTo(TSocketId, const void* buffer, int length, int, const TIpAddress& address, uint16_t)
{
    if (m_state->sendResult == -1) {
        m_state->lastError = m_state->sendError;
        return -1;
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    m_state->sent.emplace_back(bytes, bytes + length);
    m_state->sentTo.push_back(address);
    return m_state->sendResult ? m_state->sendResult : length;
}

int ScriptedStack::Receive(TSocketId socket, void* buffer, int length, int)
{
    if (m_state->receiveResult == -1) {
        m_state->lastError = m_state->receiveError;
        return -1;
    }
    if (m_state->incoming.empty() || m_state->incoming.front().arrivesAtMs > m_state->nowMs)
        return 0;
    // Each socket gets its own family's datagrams.
    const auto opened = std::find(m_state->opened.begin(), m_state->opened.end(), socket);
    const bool ipv6Socket = opened != m_state->opened.end()
        && m_state->openedAs[size_t(opened - m_state->opened.begin())].first == TIpFamily::IPv6;
    const auto datagram = m_state->incoming.front().bytes;
    if (!datagram.empty() && ((datagram[0] >> 4) == 6) != ipv6Socket)
        return 0;
    m_state->incoming.pop_front();
    const int n = std::min<int>(length, static_cast<int>(datagram.size()));
    std::memcpy(buffer, datagram.data(), static_cast<size_t>(n));
    return n;
}

int ScriptedStack::ReceiveStamped(TSocketId socket, void* buffer, int length, std::optional<int64_t>& arrivalNs)
{
    arrivalNs.reset();
    if (!m_state->incoming.empty() && m_state->incoming.front().arrivesAtMs <= m_state->nowMs)
        arrivalNs = int64_t(m_state->incoming.front().arrivesAtMs) * 1000000;
    return Receive(socket, buffer, length, 0);
}

int ScriptedStack::Select(TSocketSet* readSet, TSocketSet*, TSocketSet*, const std::optional<TWaitTime>& timeout)
{
    const long limit = timeout ? timeout->seconds * 1000 + timeout->microseconds / 1000 : -1;
    m_state->waits.push_back(limit);
    const bool arrives = !m_state->incoming.empty()
        && (limit < 0 || m_state->incoming.front().arrivesAtMs <= m_state->nowMs + static_cast<uint32_t>(limit));
    if (arrives) {
        m_state->nowMs = std::max(m_state->nowMs, m_state->incoming.front().arrivesAtMs);
        return readSet ? readSet->count : 0;
    }
    if (limit > 0)
        m_state->nowMs += static_cast<uint32_t>(limit);
    if (readSet)
        readSet->count = 0;
    return 0;
}

bool ScriptedStack::GetHostByName(const std::string& name, std::optional<TIpFamily> family, TIpAddress& address)
{
    ++m_state->lookups;
    if (family != TIpFamily::IPv6 && m_state->hosts.count(name)) {
        address = TIpAddress::FromIpv4(m_state->hosts[name]);
        return true;
    }
    if (family != TIpFamily::IPv4 && m_state->hosts6.count(name)) {
        address = TextToIpAddress(m_state->hosts6[name]);
        return true;
    }
    m_state->lastError = m_state->resolverError;
    return false;
}

std::shared_ptr<TPendingLookUp> ScriptedStack::BeginLookUp(const std::string& name, std::optional<TIpFamily> family)
{
    if (!m_state->holdLookUps)
        return TSocketStack::BeginLookUp(name, family);
    m_state->heldLookUps.emplace_back(name, std::make_shared<TPendingLookUp>());
    return m_state->heldLookUps.back().second;
}

TEventLoop::THandle ScriptedLoop::Watch(int, TIo, std::function<void()> ready)
{
    m_watches.emplace(++m_last, std::move(ready));
    return m_last;
}

TEventLoop::THandle ScriptedLoop::StartTimer(TClock::duration after, std::function<void()> fire)
{
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(after).count();
    m_timers.emplace(++m_last, std::make_pair(uint64_t(m_state.nowMs) * 1000 + uint64_t(us), std::move(fire)));
    return m_last;
}

void ScriptedLoop::RunFor(uint32_t ms)
{
    const uint32_t end = m_state.nowMs + ms;
    while (step(end)) { }
    m_state.nowMs = std::max(m_state.nowMs, end);
}

bool ScriptedLoop::RunUntil(const std::function<bool()>& done, uint32_t limitMs)
{
    const uint32_t end = m_state.nowMs + limitMs;
    while (!done())
        if (!step(end))
            return false;
    return true;
}

bool ScriptedLoop::step(uint32_t end)
{
    if (!m_posted.empty()) {
        auto task = std::move(m_posted.front());
        m_posted.pop_front();
        task();
        return true;
    }
    const bool arrived = !m_state.incoming.empty() && m_state.incoming.front().arrivesAtMs <= m_state.nowMs;
    if (arrived) {
        const size_t before = m_state.incoming.size();
        std::vector<THandle> watches;
        for (const auto& watch : m_watches)
            watches.push_back(watch.first);
        for (const THandle watch : watches)
            if (const auto found = m_watches.find(watch); found != m_watches.end())
                std::function<void()>(found->second)();
        // No socket of its family is open: nobody receives it.
        if (m_state.incoming.size() == before)
            m_state.incoming.pop_front();
        return true;
    }
    const auto next = std::min_element(m_timers.begin(), m_timers.end(),
                                       [](const auto& a, const auto& b) { return a.second.first < b.second.first; });
    if (next != m_timers.end() && next->second.first <= uint64_t(m_state.nowMs) * 1000) {
        const auto fire = std::move(next->second.second);
        m_timers.erase(next);
        fire();
        return true;
    }
    uint64_t nextMs = uint64_t(end) + 1;
    if (next != m_timers.end())
        nextMs = (next->second.first + 999) / 1000;
    if (!m_state.incoming.empty())
        nextMs = std::min<uint64_t>(nextMs, m_state.incoming.front().arrivesAtMs);
    if (nextMs > end)
        return false;
    m_state.nowMs = static_cast<uint32_t>(nextMs);
    return true;
}

ScriptedNetwork::ScriptedNetwork()
    : m_state(std::make_shared<ScriptState>())
{
    auto state = m_state;
    SetStackFactoryForTesting([state] { return std::make_unique<ScriptedStack>(state); });
    SetMillisecondClockForTesting([state] { return state->nowMs; });
}

ScriptedNetwork::~ScriptedNetwork()
{
    SetStackFactoryForTesting(nullptr);
    SetMillisecondClockForTesting(nullptr);
}

void ScriptedNetwork::Arrive(uint32_t afterMs, std::vector<uint8_t> bytes)
{
    m_state->incoming.push_back({m_state->nowMs + afterMs, std::move(bytes)});
}

std::vector<uint8_t> ScriptedNetwork::Datagram(uint8_t type, const std::vector<uint8_t>& icmpBody, uint8_t ttl,
                                               TAddressBytes source)
{
    std::vector<uint8_t> d(20, 0);
    d[0] = 0x45;
    d[8] = ttl;
    d[9] = 1;
    std::copy(source.begin(), source.end(), d.begin() + 12);
    d.push_back(type);
    d.insert(d.end(), icmpBody.begin(), icmpBody.end());
    return WithChecksum(d);
}

std::vector<uint8_t> ScriptedNetwork::WithChecksum(std::vector<uint8_t> datagram)
{
    const size_t hl = (datagram.at(0) & 0x0F) * 4u;
    if (datagram.size() < hl + 4)
        return datagram;
    datagram[hl + 2] = datagram[hl + 3] = 0;
    const uint16_t sum = IcmpChecksum(datagram.data() + hl, static_cast<int>(datagram.size() - hl));
    std::memcpy(datagram.data() + hl + 2, &sum, 2);
    return datagram;
}

std::vector<uint8_t> ScriptedNetwork::EchoReply(uint16_t sequence, uint8_t ttl, TAddressBytes source)
{
    std::vector<uint8_t> body(51, 0x45);
    std::fill(body.begin(), body.begin() + 19, 0);
    const uint16_t id = OwnIdentifier();
    body[3] = static_cast<uint8_t>(id);
    body[4] = static_cast<uint8_t>(id >> 8);
    body[5] = static_cast<uint8_t>(sequence);
    body[6] = static_cast<uint8_t>(sequence >> 8);
    return Datagram(0, body, ttl, source);
}

uint16_t ScriptedNetwork::OwnIdentifier()
{
    return static_cast<uint16_t>(::getpid());
}

std::vector<uint8_t> ScriptedNetwork::WithIpOptions(std::vector<uint8_t> datagram, int optionBytes, size_t headerAt)
{
    const size_t hl = (datagram.at(headerAt) & 0x0F) * 4u;
    datagram.insert(datagram.begin() + static_cast<long>(headerAt + hl), static_cast<size_t>(optionBytes), uint8_t(1));
    datagram[headerAt] = static_cast<uint8_t>(0x40 | ((hl + static_cast<size_t>(optionBytes)) / 4));
    return WithChecksum(datagram);
}

std::vector<uint8_t> ScriptedNetwork::ErrorAbout(uint8_t type, uint16_t sequence, TAddressBytes reporter, bool cut,
                                                 TAddressBytes destination)
{
    std::vector<uint8_t> body(7, 0); // code, checksum, unused
    std::vector<uint8_t> inner(20, 0);
    inner[0] = 0x45;
    inner[9] = 1;
    std::copy(destination.begin(), destination.end(), inner.begin() + 16);
    body.insert(body.end(), inner.begin(), inner.end());
    const uint16_t id = OwnIdentifier();
    std::vector<uint8_t> request = {8,
                                    0,
                                    0,
                                    0,
                                    static_cast<uint8_t>(id),
                                    static_cast<uint8_t>(id >> 8),
                                    static_cast<uint8_t>(sequence),
                                    static_cast<uint8_t>(sequence >> 8)};
    body.insert(body.end(), request.begin(), request.begin() + (cut ? 6 : 8));
    return Datagram(type, body, 250, reporter);
}

std::vector<uint8_t> ScriptedNetwork::AsIpv6(const std::vector<uint8_t>& datagram, const std::string& source,
                                             const std::string& destination)
{
    const auto withHeader
        = [](const std::vector<uint8_t>& payload, uint8_t hops, const std::string& from, const std::string& to) {
              const TIpAddress a = TSocketStack::TextToIpAddress(from);
              const TIpAddress b = TSocketStack::TextToIpAddress(to);
              std::vector<uint8_t> out {0x60, 0, 0, 0, uint8_t(payload.size() >> 8), uint8_t(payload.size()), 58, hops};
              out.insert(out.end(), a.Bytes.begin(), a.Bytes.end());
              out.insert(out.end(), b.Bytes.begin(), b.Bytes.end());
              out.insert(out.end(), payload.begin(), payload.end());
              return out;
          };
    std::vector<uint8_t> icmp(datagram.begin() + 20, datagram.end());
    const uint8_t type = icmp.at(0);
    icmp[0] = type == 0 ? 129 : type == 8 ? 128 : type == 3 ? 1 : 3;
    if (type == 3 || type == 11) {
        std::vector<uint8_t> request(icmp.begin() + 28, icmp.end());
        request.at(0) = 128;
        icmp.resize(8);
        const std::vector<uint8_t> inner = withHeader(request, 128, "::1", destination);
        icmp.insert(icmp.end(), inner.begin(), inner.end());
    }
    return withHeader(icmp, datagram[8], source, "::1");
}

std::vector<uint8_t> ScriptedNetwork::LoopbackReply(bool ipv6, uint16_t sequence)
{
    return ipv6 ? AsIpv6(EchoReply(sequence), "::1") : EchoReply(sequence);
}

std::vector<ForeignCase> ScriptedNetwork::ForeignDatagrams(uint16_t sequence)
{
    auto ownRequest = EchoReply(sequence, 128);
    ownRequest[20] = 8;
    auto damaged = EchoReply(sequence);
    damaged[30] ^= 0x20;
    const auto fourBytes = Datagram(0, {0, 0, 0});
    return {
        {"our own request, looped back", false, WithChecksum(ownRequest)},
        {"a reply whose checksum is wrong", false, damaged},
        {"4 bytes of ICMP", false, fourBytes},
        {"shorter than an IP header", false, {0x45, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"4 bytes of ICMPv6", true, AsIpv6(fourBytes, "::1")},
        {"shorter than an IPv6 header", true, std::vector<uint8_t>(30, 0x60)},
    };
}
