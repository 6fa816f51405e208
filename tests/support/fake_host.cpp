#include "tests/support/fake_host.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint16_t checksum(const uint8_t* data, size_t size)
{
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<uint32_t>((data[i] << 8) | data[i + 1]);
    if (size & 1)
        sum += static_cast<uint32_t>(data[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

uint32_t addressOf(const std::string& text)
{
    in_addr a {};
    ::inet_pton(AF_INET, text.c_str(), &a);
    return a.s_addr;
}

// An IPv4 packet from `source` to `destination` carrying `icmp`, with both checksums right and
// `optionBytes` (a multiple of 4) of no-operation options in its header.
std::vector<uint8_t> packet(uint32_t source, uint32_t destination, std::vector<uint8_t> icmp, int optionBytes = 0)
{
    icmp[2] = icmp[3] = 0;
    const uint16_t c = checksum(icmp.data(), icmp.size());
    icmp[2] = static_cast<uint8_t>(c >> 8);
    icmp[3] = static_cast<uint8_t>(c);
    // Sized once: growing a 20-byte vector by insert trips a false -Warray-bounds in g++ 12 at -O2.
    const size_t header = 20 + static_cast<size_t>(optionBytes);
    const size_t total = header + icmp.size();
    std::vector<uint8_t> p(total, 0);
    p[0] = static_cast<uint8_t>(0x40 | header / 4);
    p[2] = static_cast<uint8_t>(total >> 8);
    p[3] = static_cast<uint8_t>(total);
    p[8] = 64;
    p[9] = 1;
    std::memcpy(&p[12], &source, 4);
    std::memcpy(&p[16], &destination, 4);
    std::fill(p.begin() + 20, p.begin() + static_cast<long>(header), uint8_t(1));
    const uint16_t h = checksum(p.data(), header);
    p[10] = static_cast<uint8_t>(h >> 8);
    p[11] = static_cast<uint8_t>(h);
    std::copy(icmp.begin(), icmp.end(), p.begin() + static_cast<long>(header));
    return p;
}

} // namespace

FakeHost::FakeHost()
{
    m_fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = std::string("cannot open /dev/net/tun: ") + std::strerror(errno);
        return;
    }
    ifreq request {};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(request.ifr_name, "cvtun%d", IFNAMSIZ - 1);
    if (::ioctl(m_fd, TUNSETIFF, &request) != 0) {
        m_error = std::string("TUNSETIFF failed: ") + std::strerror(errno);
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_name = request.ifr_name;
    const std::string setup
        = "ip addr add " + std::string(LocalAddress) + "/24 dev " + m_name + " && ip link set " + m_name + " up";
    if (std::system(setup.c_str()) != 0) {
        m_error = "cannot configure " + m_name;
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_thread = std::thread([this] { run(); });
}

FakeHost::~FakeHost()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_loopbackSocket >= 0)
        ::close(m_loopbackSocket);
}

void FakeHost::Set(const std::string& address, Behaviour behaviour)
{
    std::lock_guard guard(m_lock);
    m_behaviours[addressOf(address)] = std::move(behaviour);
}

int FakeHost::RequestsSeen(const std::string& address)
{
    std::lock_guard guard(m_lock);
    return m_seen[addressOf(address)];
}

int FakeHost::TtlSeen(const std::string& address)
{
    std::lock_guard guard(m_lock);
    return m_ttl[addressOf(address)];
}

void FakeHost::Spray(const std::vector<std::string>& sources, int perSecond)
{
    std::lock_guard guard(m_lock);
    m_spraySources.clear();
    for (const auto& source : sources) {
        m_spraySources.push_back(addressOf(source));
        // Loopback is not behind the tun device: a raw socket sends to it instead.
        if ((ntohl(m_spraySources.back()) >> 24) == 127 && m_loopbackSocket < 0)
            m_loopbackSocket = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    }
    m_sprayRate = perSecond;
    m_sprayStartMs = nowMs();
    m_sprayed = 0;
}

void FakeHost::HoldAnswersUntil(std::chrono::steady_clock::time_point until)
{
    std::lock_guard guard(m_lock);
    m_heldUntilMs = std::chrono::duration_cast<std::chrono::milliseconds>(until.time_since_epoch()).count();
}

void FakeHost::run()
{
    std::vector<uint8_t> buffer(65536);
    while (!m_stop) {
        spray();
        pollfd p {m_fd, POLLIN, 0};
        if (::poll(&p, 1, m_sprayRate > 0 ? 1 : 5) > 0) {
            const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
            if (n > 0)
                answer(std::vector<uint8_t>(buffer.begin(), buffer.begin() + n));
        }
        std::vector<Pending> due;
        {
            std::lock_guard guard(m_lock);
            const int64_t now = nowMs();
            for (auto it = m_pending.begin(); it != m_pending.end() && now >= m_heldUntilMs;)
                if (it->dueMs <= now) {
                    due.push_back(std::move(*it));
                    it = m_pending.erase(it);
                } else {
                    ++it;
                }
        }
        for (const auto& d : due)
            if (::write(m_fd, d.packet.data(), d.packet.size()) < 0) { }
    }
}

void FakeHost::spray()
{
    static std::minstd_rand random(std::random_device {}());
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> packets;
    {
        std::lock_guard guard(m_lock);
        if (m_spraySources.empty() || m_sprayRate <= 0)
            return;
        const int64_t owed = (nowMs() - m_sprayStartMs) * m_sprayRate / 1000;
        for (; m_sprayed < owed; ++m_sprayed) {
            const auto sources = static_cast<int64_t>(m_spraySources.size());
            const uint32_t source = m_spraySources[static_cast<size_t>(m_sprayed % sources)];
            const bool reply = (m_sprayed / sources) % 2;
            std::vector<uint8_t> icmp(reply ? 52 : 20, 0);
            if (reply) {
                uint16_t identifier = m_lastIdentifier;
                while (identifier == m_lastIdentifier)
                    identifier = static_cast<uint16_t>(random());
                std::memcpy(&icmp[4], &identifier, 2);
                std::memcpy(&icmp[6], &m_lastSequence, 2);
            } else {
                icmp[0] = 13;
            }
            packets.emplace_back(source, packet(source, addressOf(LocalAddress), icmp));
        }
    }
    for (const auto& [source, p] : packets) {
        if ((ntohl(source) >> 24) != 127) {
            if (::write(m_fd, p.data(), p.size()) < 0) { }
            continue;
        }
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = source;
        ::sendto(m_loopbackSocket, p.data() + 20, p.size() - 20, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
}

void FakeHost::send(const std::vector<uint8_t>& p, int delayMs)
{
    std::lock_guard guard(m_lock);
    m_pending.push_back({nowMs() + delayMs, p});
}

void FakeHost::answer(const std::vector<uint8_t>& request)
{
    if (request.size() < 28 || (request[0] >> 4) != 4 || request[9] != 1)
        return;
    const size_t hl = (request[0] & 0x0F) * 4u;
    if (request.size() < hl + 8 || request[hl] != 8)
        return;
    uint32_t source, destination;
    std::memcpy(&source, &request[12], 4);
    std::memcpy(&destination, &request[16], 4);
    Behaviour behaviour;
    int seen = 0;
    {
        std::lock_guard guard(m_lock);
        const auto found = m_behaviours.find(destination);
        if (found == m_behaviours.end())
            return;
        behaviour = found->second;
        seen = ++m_seen[destination];
        m_ttl[destination] = request[8];
        std::memcpy(&m_lastIdentifier, &request[hl + 4], 2);
        std::memcpy(&m_lastSequence, &request[hl + 6], 2);
    }
    if (seen < behaviour.answerFromRequest || behaviour.answer == Answer::Silence)
        return;
    std::vector<uint8_t> echo(request.begin() + static_cast<long>(hl), request.end());
    const int options = behaviour.optionBytes;
    switch (behaviour.answer) {
    case Answer::EchoReply:
    case Answer::ForeignThenReply:
    case Answer::TimestampThenReply:
    case Answer::WrongIdentifier: {
        if (behaviour.answer == Answer::ForeignThenReply) {
            auto foreign = echo;
            foreign[0] = 0;
            foreign[6] = static_cast<uint8_t>(foreign[6] + 100);
            send(packet(destination, source, foreign, options), 0);
        } else if (behaviour.answer == Answer::TimestampThenReply) {
            std::vector<uint8_t> timestamp(20, 0);
            timestamp[0] = 13;
            send(packet(destination, source, timestamp, options), 0);
        } else if (behaviour.answer == Answer::WrongIdentifier) {
            echo[4] = static_cast<uint8_t>(echo[4] ^ 0x5A);
        }
        echo[0] = 0;
        send(packet(destination, source, echo, options), behaviour.delayMs);
        break;
    }
    case Answer::TimeExceeded:
    case Answer::Unreachable: {
        std::vector<uint8_t> icmp = {static_cast<uint8_t>(behaviour.answer == Answer::TimeExceeded ? 11 : 3),
                                     static_cast<uint8_t>(behaviour.answer == Answer::TimeExceeded ? 0 : 1),
                                     0,
                                     0,
                                     0,
                                     0,
                                     0,
                                     0};
        icmp.insert(icmp.end(), request.begin(), request.begin() + static_cast<long>(hl + 8));
        send(packet(addressOf(behaviour.reporter), source, icmp, options), behaviour.delayMs);
        break;
    }
    case Answer::TimestampRequest: {
        std::vector<uint8_t> icmp(20, 0);
        icmp[0] = 13;
        send(packet(destination, source, icmp), behaviour.delayMs);
        break;
    }
    case Answer::Silence:
        break;
    }
}
