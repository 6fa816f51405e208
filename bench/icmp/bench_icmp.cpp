// What one echo costs on loopback: corvane-ping, against a bare loop of the same system calls and iputils ping,
// over IPv4 (127.0.0.1) and IPv6 (::1). Prints `name value` lines. Needs root (raw sockets).
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <string>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int Echoes = 20000;

double secondsOf(const auto& run)
{
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One socket per echo, as the engine does, with nothing else around the calls.
bool bareLoop()
{
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    unsigned char request[52] = {8};
    unsigned char reply[1024];
    for (int i = 0; i < Echoes; ++i) {
        const int fd = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
        if (fd < 0)
            return false;
        const int ttl = 128;
        ::setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
        request[6] = static_cast<unsigned char>(i);
        // A valid checksum, so the kernel answers as it answers ours; a bad one would be dropped unanswered.
        request[2] = request[3] = 0;
        uint32_t sum = 0;
        for (size_t k = 0; k < sizeof request; k += 2)
            sum += static_cast<uint32_t>(request[k] | (request[k + 1] << 8));
        sum = (sum >> 16) + (sum & 0xFFFF);
        sum += sum >> 16;
        const auto checksum = static_cast<uint16_t>(~sum);
        std::memcpy(request + 2, &checksum, 2);
        ::sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timeval wait {1, 0};
        if (::select(fd + 1, &set, nullptr, nullptr, &wait) == 1)
            ::recv(fd, reply, sizeof reply, 0);
        ::shutdown(fd, SHUT_WR);
        ::close(fd);
    }
    return true;
}

// The same over ICMPv6, where the kernel sums the message. Only echo replies pass: on loopback the socket
// would otherwise take its own request for the answer. The reply's hop limit, which IPv4 gives in the
// header a raw socket reads, comes only beside the message, so the floor asks for it as the engine does.
bool bareLoop6()
{
    sockaddr_in6 to {};
    to.sin6_family = AF_INET6;
    to.sin6_addr = in6addr_loopback;
    unsigned char request[52] = {128};
    unsigned char reply[1024];
    icmp6_filter filter;
    ICMP6_FILTER_SETBLOCKALL(&filter);
    ICMP6_FILTER_SETPASS(ICMP6_ECHO_REPLY, &filter);
    for (int i = 0; i < Echoes; ++i) {
        const int fd = ::socket(AF_INET6, SOCK_RAW, IPPROTO_ICMPV6);
        if (fd < 0)
            return false;
        ::setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
        const int on = 1;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof on);
        const int hops = 128;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &hops, sizeof hops);
        request[6] = static_cast<unsigned char>(i);
        ::sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timeval wait {1, 0};
        if (::select(fd + 1, &set, nullptr, nullptr, &wait) == 1) {
            sockaddr_in6 from {};
            alignas(cmsghdr) unsigned char control[64];
            iovec io {reply, sizeof reply};
            msghdr header {&from, sizeof from, &io, 1, control, sizeof control, 0};
            ::recvmsg(fd, &header, 0);
        }
        ::shutdown(fd, SHUT_WR);
        ::close(fd);
    }
    return true;
}

int run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str());
}

} // namespace

int main()
{
    const std::string echoes = std::to_string(Echoes);
    // The three take turns over several rounds and each keeps its best round, so a burst of other work
    // on the machine does not land on one of them only.
    const int Rounds = std::getenv("CORVANE_BENCH_ROUNDS") ? std::atoi(std::getenv("CORVANE_BENCH_ROUNDS")) : 9;
    double bare = 1e9, ours = 1e9, iputils = 1e9, bare6 = 1e9, ours6 = 1e9;
    int status = 0;
    for (int round = 0; round < Rounds; ++round) {
        bool bareOk = true;
        bare = std::min(bare, secondsOf([&] { bareOk = bareLoop(); }));
        if (!bareOk) {
            std::fprintf(stderr, "bench_icmp: raw sockets need root\n");
            return 1;
        }
        ours = std::min(
            ours, secondsOf([&] { status = run(std::string(CORVANE_PING) + " -c " + echoes + " -i 0 -q 127.0.0.1"); }));
        if (status != 0) {
            std::fprintf(stderr, "bench_icmp: corvane-ping failed\n");
            return 1;
        }
        bool bare6Ok = true;
        bare6 = std::min(bare6, secondsOf([&] { bare6Ok = bareLoop6(); }));
        int status6 = 0;
        ours6 = std::min(
            ours6, secondsOf([&] { status6 = run(std::string(CORVANE_PING) + " -6 -c " + echoes + " -i 0 -q ::1"); }));
        if (!bare6Ok || status6 != 0) {
            std::fprintf(stderr, "bench_icmp: no IPv6 on loopback, or corvane-ping -6 failed\n");
            return 1;
        }
        iputils = std::min(iputils, secondsOf([&] { status = run("ping -c " + echoes + " -i 0 -q 127.0.0.1"); }));
    }
    const double perEcho = 1e6 / Echoes;
    std::printf("corvane_ping_us %.2f\n", ours * perEcho);
    std::printf("bare_loop_us %.2f\n", bare * perEcho);
    if (status == 0)
        std::printf("iputils_us %.2f\n", iputils * perEcho);
    std::printf("ratio_vs_floor %.3f\n", ours / bare);
    if (status == 0)
        std::printf("ratio_vs_iputils %.3f\n", ours / iputils);
    std::printf("corvane_ping6_us %.2f\n", ours6 * perEcho);
    std::printf("bare_loop6_us %.2f\n", bare6 * perEcho);
    std::printf("ratio_vs_floor6 %.3f\n", ours6 / bare6);
    return 0;
}
