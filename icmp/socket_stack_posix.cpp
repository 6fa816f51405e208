#include "icmp/socket_stack_posix.h"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <netdb.h>
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

// The TTL the kernel reports beside a datagram or an ICMP error (IP_RECVTTL); 0 when absent.
uint8_t receivedTtl(msghdr& header)
{
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c))
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
            int value = 0;
            std::memcpy(&value, CMSG_DATA(c), sizeof value);
            return static_cast<uint8_t>(value);
        }
    return 0;
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
        return 11004; // the name exists but has no IPv4 address
    case EAI_MEMORY:
        return 10055;
    case EAI_SYSTEM:
        return SocketErrorFromErrno(errno);
    default:
        return 11003;
    }
}

TSocketId TSocketStackPosix::CreateSocket(int family, int type, int protocol)
{
    const int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd >= 0)
        return fd;
    const int rawError = errno;
    // EPERM or EACCES: no CAP_NET_RAW, as for every desktop user. The kernel's ICMP datagram socket needs
    // no privilege when net.ipv4.ping_group_range includes our group; it refuses with EACCES otherwise.
    if ((rawError == EPERM || rawError == EACCES) && type == SOCK_RAW && protocol == IPPROTO_ICMP) {
        const int datagram = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (datagram >= 0) {
            // TTL and ICMP errors arrive beside the data, so the raw datagram can be rebuilt.
            const int on = 1;
            ::setsockopt(datagram, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
            ::setsockopt(datagram, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
            std::lock_guard guard(m_lock);
            m_datagramSockets.insert(datagram);
            return datagram;
        }
    }
    return fail(rawError);
}

bool TSocketStackPosix::IsDatagramStandIn(TSocketId socket) const
{
    std::lock_guard guard(m_lock);
    return m_datagramSockets.count(socket) != 0;
}

int TSocketStackPosix::SetSocketOption(TSocketId socket, int level, int name, const void* value, int length)
{
    return ::setsockopt(socket, level, name, value, static_cast<socklen_t>(length)) == 0 ? 0 : fail(errno);
}

int TSocketStackPosix::SendTo(TSocketId socket, const void* buffer, int length, int flags, const TAddressBytes& address,
                              uint16_t portInNetworkOrder)
{
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = portInNetworkOrder;
    std::memcpy(&to.sin_addr, address.data(), 4);
    const ssize_t sent = ::sendto(socket, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent < 0 ? fail(errno) : static_cast<int>(sent);
}

int TSocketStackPosix::Receive(TSocketId socket, void* buffer, int length, int flags)
{
    if (IsDatagramStandIn(socket))
        return receiveDatagram(socket, buffer, length, flags);
    const ssize_t n = ::recv(socket, buffer, static_cast<size_t>(length), flags);
    return n < 0 ? fail(errno) : static_cast<int>(n);
}

int TSocketStackPosix::receiveDatagram(TSocketId socket, void* buffer, int length, int flags)
{
    uint8_t message[2048];
    sockaddr_in from {};
    alignas(cmsghdr) uint8_t control[512];
    iovec io {message, sizeof message};
    msghdr header {};
    header.msg_name = &from;
    header.msg_namelen = sizeof from;
    header.msg_iov = &io;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;

    uint8_t datagram[IpHeaderLength + IcmpHeaderLength + IpHeaderLength + sizeof message];
    int size = 0;
    // An ICMP error about our request waits in the error queue; rebuild the message a raw socket sees:
    // the reporter's header, the error's type and code, then our request's header and first bytes.
    ssize_t n = ::recvmsg(socket, &header, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (n >= 0) {
        const sock_extended_err* error = nullptr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c))
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR)
                error = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
        if (!error || error->ee_origin != SO_EE_ORIGIN_ICMP)
            return fail(EAGAIN);
        const auto* offender = reinterpret_cast<const sockaddr_in*>(SO_EE_OFFENDER(error));
        const int payload = static_cast<int>(n);
        size = IpHeaderLength + IcmpHeaderLength + IpHeaderLength + payload;
        const uint8_t none[4] = {0, 0, 0, 0};
        // The TTL is the reporter's: the kernel gives the outer header's beside the error.
        writeIpHeader(datagram, size, receivedTtl(header), reinterpret_cast<const uint8_t*>(&offender->sin_addr), none);
        uint8_t* icmp = datagram + IpHeaderLength;
        std::memset(icmp, 0, IcmpHeaderLength);
        icmp[0] = error->ee_type;
        icmp[1] = error->ee_code;
        writeIpHeader(icmp + IcmpHeaderLength, IpHeaderLength + payload, 0, none,
                      reinterpret_cast<const uint8_t*>(&from.sin_addr));
        std::memcpy(icmp + IcmpHeaderLength + IpHeaderLength, message, static_cast<size_t>(payload));
    } else {
        header.msg_controllen = sizeof control;
        header.msg_namelen = sizeof from;
        n = ::recvmsg(socket, &header, flags | MSG_DONTWAIT);
        if (n < 0)
            return fail(errno);
        size = IpHeaderLength + static_cast<int>(n);
        const uint8_t none[4] = {0, 0, 0, 0};
        writeIpHeader(datagram, size, receivedTtl(header), reinterpret_cast<const uint8_t*>(&from.sin_addr), none);
        std::memcpy(datagram + IpHeaderLength, message, static_cast<size_t>(n));
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
        TSocketSet kept;
        for (int i = 0; i < sets[s]->count; ++i, ++k) {
            const short got = result > 0 ? fds[k].revents : 0;
            // As select() does, an error or hang-up makes a socket readable.
            const short wanted = s == 0 ? short(POLLIN | POLLERR | POLLHUP) : s == 1 ? short(POLLOUT) : short(POLLPRI);
            if (got & wanted) {
                kept.ids[static_cast<size_t>(kept.count++)] = fds[k].fd;
                ++ready;
            }
        }
        *sets[s] = kept;
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
        m_datagramSockets.erase(socket);
    }
    return ::close(socket) == 0 ? 0 : fail(errno);
}

namespace {

// getaddrinfo() for IPv4; on failure `error` is the socket error number. Safe on any thread.
bool resolve(const std::string& name, TAddressBytes& address, int& error)
{
    // A name with a NUL in it would be looked up cut short; no host has such a name.
    if (name.find('\0') != std::string::npos) {
        error = 11001;
        return false;
    }
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_RAW;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    if (rc != 0 || !found) {
        error = rc != 0 ? SocketErrorFromResolver(rc) : 11004;
        return false;
    }
    const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    std::memcpy(address.data(), &in->sin_addr, 4);
    ::freeaddrinfo(found);
    return true;
}

} // namespace

bool TSocketStackPosix::GetHostByName(const std::string& name, TAddressBytes& address)
{
    return resolve(name, address, t_lastError);
}

std::shared_ptr<TPendingLookUp> TSocketStackPosix::BeginLookUp(const std::string& name)
{
    auto lookUp = std::make_shared<TPendingLookUp>();
    try {
        // The thread holds only its own copies, so it may outlive this stack and the waiter.
        std::thread([lookUp, name] {
            TAddressBytes address {};
            int error = 0;
            const bool found = resolve(name, address, error);
            lookUp->Answer(found, address, error);
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had (a process limit): look the name up here rather than not at all.
        return TSocketStack::BeginLookUp(name);
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
