#include "icmp/socket_stack_posix.h"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <netdb.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

thread_local int t_lastError = 0;

int fail(int errnoValue)
{
    t_lastError = SocketErrorFromErrno(errnoValue);
    return -1;
}

constexpr int IcmpHeaderLength = 8;
constexpr int IpHeaderLength = 20;
constexpr int Ipv6HeaderLength = 40;

// The IPv4 header a raw socket would have delivered in front of the ICMP message.
void writeIpHeader(uint8_t* out, int totalLength, uint8_t ttl, const uint8_t* source, const uint8_t* destination)
{
    std::memset(out, 0, IpHeaderLength);
    out[0] = 0x45;
    out[2] = static_cast<uint8_t>(totalLength >> 8);
    out[3] = static_cast<uint8_t>(totalLength);
    out[8] = ttl;
    out[9] = IPPROTO_ICMP;
    std::memcpy(out + 12, source, 4);
    std::memcpy(out + 16, destination, 4);
}

// The IP header of either family in front of `payloadLength` bytes of ICMP; returns its length.
int writeHeader(bool ipv6, uint8_t* out, int payloadLength, uint8_t hops, const uint8_t* source,
                const uint8_t* destination)
{
    if (!ipv6) {
        writeIpHeader(out, IpHeaderLength + payloadLength, hops, source, destination);
        return IpHeaderLength;
    }
    std::memset(out, 0, Ipv6HeaderLength);
    out[0] = 0x60;
    out[4] = static_cast<uint8_t>(payloadLength >> 8);
    out[5] = static_cast<uint8_t>(payloadLength);
    out[6] = IPPROTO_ICMPV6;
    out[7] = hops;
    std::memcpy(out + 8, source, 16);
    std::memcpy(out + 24, destination, 16);
    return Ipv6HeaderLength;
}

// The TTL or hop limit the kernel reports beside a datagram or an ICMP error (IP_RECVTTL,
// IPV6_RECVHOPLIMIT); 0 when absent.
uint8_t receivedTtl(msghdr& header)
{
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c))
        if ((c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL)
            || (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_HOPLIMIT)) {
            int value = 0;
            std::memcpy(&value, CMSG_DATA(c), sizeof value);
            return static_cast<uint8_t>(value);
        }
    return 0;
}

// The kernel's arrival stamp beside a datagram (SO_TIMESTAMPNS), in nanoseconds of CLOCK_REALTIME.
std::optional<int64_t> arrivalStamp(msghdr& header)
{
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp {};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            // An unset stamp reads as zero.
            if (stamp.tv_sec == 0 && stamp.tv_nsec == 0)
                return std::nullopt;
            return int64_t(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
        }
    return std::nullopt;
}

const uint8_t* addressBytes(const sockaddr* address)
{
    if (address->sa_family == AF_INET6)
        return reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr.s6_addr;
    return reinterpret_cast<const uint8_t*>(&reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
}

} // namespace

int SocketErrorFromErrno(int e)
{
    switch (e) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EWOULDBLOCK:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
    case EPIPE:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    // Linux numbers differ from the Berkeley ones, so adding 10000 would borrow another error's text
    // (ENOSYS as "Socket operation on non-socket."). Without a counterpart the errno itself is shown;
    // it lies below every Windows Sockets number and has no text.
    default:
        return e;
    }
}

int SocketErrorFromResolver(int resolverError)
{
    switch (resolverError) {
    case EAI_NONAME:
        return 11001; // no such name
    case EAI_AGAIN:
        return 11002; // try again: no answer from a name server
    case EAI_FAIL:
        return 11003; // a non-recoverable failure
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
        return 11004; // the name exists but has no address of the family asked for
    case EAI_MEMORY:
        return 10055;
    case EAI_SYSTEM:
        return SocketErrorFromErrno(errno);
    default:
        return 11003;
    }
}

TSocketId TSocketStackPosix::CreateSocket(TIpFamily family, int type, int protocol)
{
    const bool ipv6 = family == TIpFamily::IPv6;
    const int domain = ipv6 ? AF_INET6 : AF_INET;
    const int icmp = ipv6 ? int(IPPROTO_ICMPV6) : int(IPPROTO_ICMP);
    const int on = 1;
    const int fd = ::socket(domain, type | SOCK_CLOEXEC, protocol);
    if (fd >= 0) {
        // Each datagram comes with the moment it arrived, so a round trip does not depend on when the
        // program got round to reading it.
        if (protocol == icmp)
            ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        if (ipv6 && type == SOCK_RAW && protocol == icmp) {
            // Only what may answer an echo request: neighbour discovery and the like would wake every wait.
            // The hop limit comes beside each message, as the header it stands in for is not delivered.
            icmp6_filter filter;
            ICMP6_FILTER_SETBLOCKALL(&filter);
            for (const int answer :
                 {ICMP6_ECHO_REPLY, ICMP6_DST_UNREACH, ICMP6_PACKET_TOO_BIG, ICMP6_TIME_EXCEEDED, ICMP6_PARAM_PROB})
                ICMP6_FILTER_SETPASS(answer, &filter);
            ::setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof on);
            remember(fd, TKind::RawIpv6);
        }
        return fd;
    }
    const int rawError = errno;
    // Raw first: it sees every ICMP message, the routers' reports included. Refused with
    //  - EPERM: the process lacks CAP_NET_RAW, as every desktop user does unless the program file carries
    //    the capability (a copy of it does not);
    //  - EACCES: a security module (SELinux, AppArmor) denies raw sockets to the program;
    // the kernel's ICMP datagram socket may still be had without any privilege. It is refused in turn with
    // EACCES when no group of ours lies in net.ipv4.ping_group_range (which rules both families), and with
    // EAFNOSUPPORT or EPROTONOSUPPORT by a kernel without it; the raw socket's error is reported then.
    if ((rawError == EPERM || rawError == EACCES) && type == SOCK_RAW && protocol == icmp) {
        const int datagram = ::socket(domain, SOCK_DGRAM | SOCK_CLOEXEC, icmp);
        if (datagram >= 0) {
            ::setsockopt(datagram, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
            // TTL and ICMP errors arrive beside the data, so the raw datagram can be rebuilt.
            if (ipv6) {
                ::setsockopt(datagram, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof on);
                ::setsockopt(datagram, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on);
            } else {
                ::setsockopt(datagram, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
                ::setsockopt(datagram, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
            }
            remember(datagram, ipv6 ? TKind::DatagramIpv6 : TKind::DatagramIpv4);
            return datagram;
        }
    }
    return fail(rawError);
}

void TSocketStackPosix::remember(TSocketId socket, TKind kind)
{
    std::lock_guard guard(m_lock);
    // A number the platform hands out again once its socket is closed, whoever closed it.
    std::erase_if(m_kinds, [socket](const auto& entry) { return entry.first == socket; });
    m_kinds.emplace_back(socket, kind);
}

std::optional<TSocketStackPosix::TKind> TSocketStackPosix::kindOf(TSocketId socket) const
{
    std::lock_guard guard(m_lock);
    for (const auto& [id, kind] : m_kinds)
        if (id == socket)
            return kind;
    return std::nullopt;
}

bool TSocketStackPosix::IsDatagramStandIn(TSocketId socket) const
{
    const std::optional<TKind> kind = kindOf(socket);
    return kind && *kind != TKind::RawIpv6;
}

int TSocketStackPosix::SetSocketOption(TSocketId socket, int level, int name, const void* value, int length)
{
    return ::setsockopt(socket, level, name, value, static_cast<socklen_t>(length)) == 0 ? 0 : fail(errno);
}

int TSocketStackPosix::SendTo(TSocketId socket, const void* buffer, int length, int flags, const TIpAddress& address,
                              uint16_t portInNetworkOrder)
{
    sockaddr_storage to {};
    socklen_t size = 0;
    if (address.Family == TIpFamily::IPv6) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(to);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = portInNetworkOrder;
        std::memcpy(&in6.sin6_addr, address.Bytes.data(), 16);
        in6.sin6_scope_id = address.ScopeId;
        size = sizeof in6;
    } else {
        auto& in = reinterpret_cast<sockaddr_in&>(to);
        in.sin_family = AF_INET;
        in.sin_port = portInNetworkOrder;
        std::memcpy(&in.sin_addr, address.Bytes.data(), 4);
        size = sizeof in;
    }
    const ssize_t sent = ::sendto(socket, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&to), size);
    return sent < 0 ? fail(errno) : static_cast<int>(sent);
}

int TSocketStackPosix::Receive(TSocketId socket, void* buffer, int length, int flags)
{
    if (const std::optional<TKind> kind = kindOf(socket)) {
        std::optional<int64_t> unused;
        return receiveWithHeader(socket, *kind, buffer, length, flags, unused);
    }
    const ssize_t n = ::recv(socket, buffer, static_cast<size_t>(length), flags);
    return n < 0 ? fail(errno) : static_cast<int>(n);
}

int TSocketStackPosix::ReceiveStamped(TSocketId socket, void* buffer, int length, std::optional<int64_t>& arrivalNs)
{
    arrivalNs.reset();
    if (const std::optional<TKind> kind = kindOf(socket))
        return receiveWithHeader(socket, *kind, buffer, length, MSG_DONTWAIT, arrivalNs);
    alignas(cmsghdr) uint8_t control[128];
    iovec io {buffer, static_cast<size_t>(length)};
    msghdr header {};
    header.msg_iov = &io;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(socket, &header, MSG_DONTWAIT);
    if (n < 0)
        return fail(errno);
    arrivalNs = arrivalStamp(header);
    return static_cast<int>(n);
}

int TSocketStackPosix::receiveWithHeader(TSocketId socket, TKind kind, void* buffer, int length, int flags,
                                         std::optional<int64_t>& arrivalNs)
{
    const bool ipv6 = kind != TKind::DatagramIpv4;
    uint8_t message[2048];
    sockaddr_storage from {};
    alignas(cmsghdr) uint8_t control[512];
    iovec io {message, sizeof message};
    msghdr header {};
    header.msg_name = &from;
    header.msg_namelen = sizeof from;
    header.msg_iov = &io;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;

    uint8_t datagram[Ipv6HeaderLength + IcmpHeaderLength + Ipv6HeaderLength + sizeof message];
    const uint8_t none[16] = {};
    int size = 0;
    // An ICMP error about a datagram socket's request waits in its error queue (a raw socket receives it
    // as a message); rebuild the message a raw socket sees: the reporter's header, the error's type and
    // code, then our request's header and first bytes.
    ssize_t n = kind == TKind::RawIpv6 ? -1 : ::recvmsg(socket, &header, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (n >= 0) {
        const sock_extended_err* error = nullptr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c))
            if ((c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR)
                || (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_RECVERR))
                error = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
        if (!error || error->ee_origin != (ipv6 ? SO_EE_ORIGIN_ICMP6 : SO_EE_ORIGIN_ICMP))
            return fail(EAGAIN);
        const int payload = static_cast<int>(n);
        const int innerLength = ipv6 ? Ipv6HeaderLength : IpHeaderLength;
        // The TTL is the reporter's: the kernel gives the outer header's beside the error.
        const int outer = writeHeader(ipv6, datagram, IcmpHeaderLength + innerLength + payload, receivedTtl(header),
                                      addressBytes(SO_EE_OFFENDER(error)), none);
        uint8_t* icmp = datagram + outer;
        std::memset(icmp, 0, IcmpHeaderLength);
        icmp[0] = error->ee_type;
        icmp[1] = error->ee_code;
        writeHeader(ipv6, icmp + IcmpHeaderLength, payload, 0, none,
                    addressBytes(reinterpret_cast<const sockaddr*>(&from)));
        std::memcpy(icmp + IcmpHeaderLength + innerLength, message, static_cast<size_t>(payload));
        size = outer + IcmpHeaderLength + innerLength + payload;
        arrivalNs = arrivalStamp(header);
    } else {
        header.msg_controllen = sizeof control;
        header.msg_namelen = sizeof from;
        n = ::recvmsg(socket, &header, flags | MSG_DONTWAIT);
        if (n < 0)
            return fail(errno);
        const int outer = writeHeader(ipv6, datagram, static_cast<int>(n), receivedTtl(header),
                                      addressBytes(reinterpret_cast<const sockaddr*>(&from)), none);
        std::memcpy(datagram + outer, message, static_cast<size_t>(n));
        size = outer + static_cast<int>(n);
        arrivalNs = arrivalStamp(header);
    }
    const int copied = std::min(size, length);
    std::memcpy(buffer, datagram, static_cast<size_t>(copied));
    return copied;
}

int TSocketStackPosix::Select(TSocketSet* readSet, TSocketSet* writeSet, TSocketSet* errorSet,
                              const std::optional<TWaitTime>& timeout)
{
    // poll() has no FD_SETSIZE limit, so a socket numbered above 1023 is waited on safely.
    std::array<pollfd, 3 * TSocketSet::Capacity> fds;
    size_t used = 0;
    TSocketSet* sets[3] = {readSet, writeSet, errorSet};
    const short events[3] = {POLLIN, POLLOUT, POLLPRI};
    for (int s = 0; s < 3; ++s)
        if (sets[s])
            for (int i = 0; i < sets[s]->count; ++i)
                fds[used++] = {sets[s]->ids[static_cast<size_t>(i)], events[s], 0};
    int waitMs = -1;
    if (timeout) {
        if (timeout->seconds < 0 || timeout->microseconds < 0) {
            for (TSocketSet* set : sets)
                if (set)
                    set->count = 0;
            return fail(EINVAL);
        }
        const long long ms = timeout->seconds * 1000LL + (timeout->microseconds + 999) / 1000;
        waitMs = static_cast<int>(std::min<long long>(ms, INT32_MAX));
    }
    int result = 0;
    do
        result = ::poll(fds.data(), used, waitMs);
    while (result < 0 && errno == EINTR);
    const int pollError = errno;
    int ready = 0;
    size_t k = 0;
    for (int s = 0; s < 3; ++s) {
        if (!sets[s])
            continue;
        // The ready ones move to the front, in place: a copy of the set would cost more than the wait.
        const int count = sets[s]->count;
        sets[s]->count = 0;
        for (int i = 0; i < count; ++i, ++k) {
            const short got = result > 0 ? fds[k].revents : 0;
            // As select() does, an error or hang-up makes a socket readable.
            const short wanted = s == 0 ? short(POLLIN | POLLERR | POLLHUP) : s == 1 ? short(POLLOUT) : short(POLLPRI);
            if (got & wanted) {
                sets[s]->ids[static_cast<size_t>(sets[s]->count++)] = fds[k].fd;
                ++ready;
            }
        }
    }
    return result < 0 ? fail(pollError) : ready;
}

int TSocketStackPosix::Shutdown(TSocketId socket, int how)
{
    return ::shutdown(socket, how) == 0 ? 0 : fail(errno);
}

int TSocketStackPosix::CloseSocket(TSocketId socket)
{
    {
        std::lock_guard guard(m_lock);
        std::erase_if(m_kinds, [socket](const auto& entry) { return entry.first == socket; });
    }
    return ::close(socket) == 0 ? 0 : fail(errno);
}

namespace {

// getaddrinfo() as GetHostByName() describes it; on failure `error` is the socket error number. Safe on any
// thread.
bool resolve(const std::string& name, std::optional<TIpFamily> family, TIpAddress& address, int& error)
{
    // A name with a NUL in it would be looked up cut short; no host has such a name.
    if (name.find('\0') != std::string::npos) {
        error = 11001;
        return false;
    }
    addrinfo hints {};
    hints.ai_family = !family ? AF_UNSPEC : *family == TIpFamily::IPv6 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_RAW;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    if (rc != 0) {
        error = SocketErrorFromResolver(rc);
        return false;
    }
    // The list comes sorted for connecting, often IPv6 first; an IPv4 address is taken wherever it stands.
    const addrinfo* chosen = nullptr;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next)
        if (entry->ai_family == AF_INET || (entry->ai_family == AF_INET6 && !chosen)) {
            chosen = entry;
            if (entry->ai_family == AF_INET)
                break;
        }
    if (!chosen) {
        error = 11004;
    } else if (chosen->ai_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(chosen->ai_addr);
        address = TIpAddress::FromIpv6(in6->sin6_addr.s6_addr, in6->sin6_scope_id);
    } else {
        TAddressBytes bytes;
        std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in*>(chosen->ai_addr)->sin_addr, 4);
        address = TIpAddress::FromIpv4(bytes);
    }
    ::freeaddrinfo(found);
    return chosen != nullptr;
}

} // namespace

bool TSocketStackPosix::GetHostByName(const std::string& name, std::optional<TIpFamily> family, TIpAddress& address)
{
    return resolve(name, family, address, t_lastError);
}

std::shared_ptr<TPendingLookUp> TSocketStackPosix::BeginLookUp(const std::string& name, std::optional<TIpFamily> family)
{
    auto lookUp = std::make_shared<TPendingLookUp>();
    try {
        // The thread holds only its own copies, so it may outlive this stack and the waiter.
        std::thread([lookUp, name, family] {
            TIpAddress address;
            int error = 0;
            const bool found = resolve(name, family, address, error);
            lookUp->Answer(found, address, error);
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had (a process limit): look the name up here rather than not at all.
        return TSocketStack::BeginLookUp(name, family);
    }
    return lookUp;
}

int TSocketStackPosix::LastError()
{
    return t_lastError;
}

std::string TSocketStackPosix::SocketErrorText(int errorNumber)
{
    if (errorNumber == 11001)
        return "Socket Error # 11001\r\nHost not found.";
    return TSocketStack::SocketErrorText(errorNumber);
}
