#include "icmp/socket_stack.h"

#include "icmp/net_exceptions.h"
#include "platform/format.h"
#include "platform/int_conversion.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>

namespace {

// A part is a number in the standard syntax, within its range.
bool readPart(std::string_view part, int64_t maximum, int64_t& value)
{
    return TryParseInteger(part, value) && value >= 0 && value <= maximum;
}

std::string_view takePart(std::string_view& rest)
{
    const size_t dot = rest.find('.');
    std::string_view part = rest.substr(0, dot);
    rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
    return part;
}

// Splits an IPv6 literal at its zone; false when the address part is no IPv6 address or the zone is empty.
bool splitIpv6(std::string_view text, in6_addr& bytes, std::string_view& zone)
{
    // The platform reads up to a NUL, which would make "::1\0anything" pass for ::1.
    if (text.find('\0') != std::string_view::npos)
        return false;
    const size_t percent = text.find('%');
    zone = percent == std::string_view::npos ? std::string_view() : text.substr(percent + 1);
    const std::string address(text.substr(0, percent));
    return (percent == std::string_view::npos || !zone.empty()) && ::inet_pton(AF_INET6, address.c_str(), &bytes) == 1;
}

// The shortest form (RFC 5952): lower-case groups without leading zeros, the longest run of two or more
// zero groups (the first of equals) as "::", and an IPv4-mapped address with its dotted tail. Every reply
// is decoded through here, and the C library's formatter prints each group through printf.
std::string ipv6Text(const uint8_t* bytes)
{
    static constexpr uint8_t mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(bytes, mapped, sizeof mapped) == 0)
        return "::ffff:" + TSocketStack::AddressToText(bytes + 12);
    int runStart = -1, runLength = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && bytes[2 * j] == 0 && bytes[2 * j + 1] == 0)
            ++j;
        if (j - i > runLength) {
            runStart = i;
            runLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    std::string text;
    for (int i = 0; i < 8;) {
        if (i == runStart) {
            text += "::";
            i += runLength;
            continue;
        }
        if (!text.empty() && text.back() != ':')
            text += ':';
        const unsigned group = (bytes[2 * i] << 8) | bytes[2 * i + 1];
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const unsigned digit = (group >> shift) & 0xF;
            if (started || digit != 0 || shift == 0) {
                text += "0123456789abcdef"[digit];
                started = true;
            }
        }
        ++i;
    }
    return text;
}

// The interface a zone names, by name or by number; 0 for none.
uint32_t zoneIndex(std::string_view zone)
{
    int64_t number = 0;
    if (zone.find_first_not_of("0123456789") == std::string_view::npos)
        return TryParseInteger(zone, number) && number > 0 && number <= UINT32_MAX ? static_cast<uint32_t>(number) : 0;
    return ::if_nametoindex(std::string(zone).c_str());
}

} // namespace

TIpAddress TIpAddress::FromIpv4(const TAddressBytes& bytes)
{
    TIpAddress address;
    std::copy(bytes.begin(), bytes.end(), address.Bytes.begin());
    return address;
}

TIpAddress TIpAddress::FromIpv6(const uint8_t* bytes, uint32_t scopeId)
{
    TIpAddress address;
    address.Family = TIpFamily::IPv6;
    std::copy(bytes, bytes + 16, address.Bytes.begin());
    address.ScopeId = scopeId;
    return address;
}

void TPendingLookUp::Answer(bool found, const TIpAddress& address, int errorNumber)
{
    std::function<void()> answered;
    {
        std::lock_guard guard(m_lock);
        m_found = found;
        m_address = address;
        m_errorNumber = errorNumber;
        m_done = true;
        answered = std::move(m_answered);
    }
    m_answeredCondition.notify_all();
    if (answered)
        answered();
}

bool TPendingLookUp::WaitFor(int timeoutMs)
{
    std::unique_lock guard(m_lock);
    return m_answeredCondition.wait_for(guard, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                                        [this] { return m_done; });
}

void TPendingLookUp::WhenAnswered(std::function<void()> answered)
{
    {
        std::lock_guard guard(m_lock);
        if (!m_done) {
            m_answered = std::move(answered);
            return;
        }
    }
    answered();
}

std::string TSocketStack::ResolveToAddress(const std::string& host, const TWaitHook& waitHook,
                                           std::optional<TIpFamily> family)
{
    const TIpAddress address = ResolveToIpAddress(host, waitHook, family);
    // A literal is returned as it was given, not as it reads back.
    return IsAddressLiteral(host) || IsIpv6Literal(host) ? host : IpAddressToText(address);
}

TIpAddress TSocketStack::ResolveToIpAddress(const std::string& host, const TWaitHook& waitHook,
                                            std::optional<TIpFamily> family)
{
    if (const std::optional<TIpAddress> known = AddressWithoutLookUp(host, family))
        return *known;
    return lookUp(host, waitHook, family);
}

std::optional<TIpAddress> TSocketStack::AddressWithoutLookUp(const std::string& host, std::optional<TIpFamily> family)
{
    if (::strcasecmp(host.c_str(), "LOCALHOST") == 0 && host.size() == 9) {
        static constexpr uint8_t ipv6Loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        return family == TIpFamily::IPv6 ? TIpAddress::FromIpv6(ipv6Loopback) : TIpAddress::FromIpv4({127, 0, 0, 1});
    }
    TAddressBytes ipv4;
    std::optional<TIpAddress> literal;
    if (ParseAddress(host, ipv4))
        literal = TIpAddress::FromIpv4(ipv4);
    else if (IsIpv6Literal(host))
        literal = TextToIpAddress(host);
    // As for a name without an address of the family asked for.
    if (literal && family && *family != literal->Family)
        ThrowSocketError(11004);
    return literal;
}

bool TSocketStack::IsAddressLiteral(std::string_view text)
{
    TAddressBytes bytes;
    return ParseAddress(text, bytes);
}

bool TSocketStack::IsIpv6Literal(std::string_view text)
{
    in6_addr bytes;
    std::string_view zone;
    return splitIpv6(text, bytes, zone);
}

bool TSocketStack::ParseAddress(std::string_view text, TAddressBytes& bytes)
{
    std::string_view rest = text;
    const std::string_view p1 = takePart(rest);
    const std::string_view p2 = takePart(rest);
    const std::string_view p3 = takePart(rest);
    const std::string_view p4 = rest; // may still hold dots, which then fail as a number
    int64_t a = 0, b = 0, c = 0, d = 0;
    if (p2.empty()) {
        if (!readPart(p1, 0xFFFFFFFFLL, a))
            return false;
        bytes = {uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
    } else if (p3.empty()) {
        if (!readPart(p1, 255, a) || !readPart(p2, 0xFFFFFF, b))
            return false;
        bytes = {uint8_t(a), uint8_t(b >> 16), uint8_t(b >> 8), uint8_t(b)};
    } else if (p4.empty()) {
        if (!readPart(p1, 255, a) || !readPart(p2, 255, b) || !readPart(p3, 0xFFFF, c))
            return false;
        bytes = {uint8_t(a), uint8_t(b), uint8_t(c >> 8), uint8_t(c)};
    } else {
        if (!readPart(p1, 255, a) || !readPart(p2, 255, b) || !readPart(p3, 255, c) || !readPart(p4, 255, d))
            return false;
        bytes = {uint8_t(a), uint8_t(b), uint8_t(c), uint8_t(d)};
    }
    return true;
}

TAddressBytes TSocketStack::TextToAddress(const std::string& text)
{
    TAddressBytes bytes;
    if (!ParseAddress(text, bytes))
        throw ENetInvalidIPAddress(text);
    return bytes;
}

TIpAddress TSocketStack::TextToIpAddress(const std::string& text)
{
    TAddressBytes ipv4;
    if (ParseAddress(text, ipv4))
        return TIpAddress::FromIpv4(ipv4);
    in6_addr ipv6;
    std::string_view zone;
    if (!splitIpv6(text, ipv6, zone))
        throw ENetInvalidIPAddress(text);
    const uint32_t scope = zone.empty() ? 0 : zoneIndex(zone);
    // An interface that is not there (any more) cannot carry the request.
    if (!zone.empty() && scope == 0)
        throw ENetInvalidIPAddress(text);
    return TIpAddress::FromIpv6(ipv6.s6_addr, scope);
}

std::string TSocketStack::IpAddressToText(const TIpAddress& address)
{
    if (address.Family == TIpFamily::IPv4)
        return AddressToText(address.Bytes.data());
    std::string result = ipv6Text(address.Bytes.data());
    if (address.ScopeId != 0) {
        char name[IF_NAMESIZE];
        result += '%';
        result += ::if_indextoname(address.ScopeId, name) ? std::string(name) : std::to_string(address.ScopeId);
    }
    return result;
}

std::string TSocketStack::AddressToText(const uint8_t* bytes)
{
    // Every reply is decoded through here; printf machinery would cost more than the decoding.
    char text[16];
    char* out = text;
    for (int i = 0; i < 4; ++i) {
        unsigned v = bytes[i];
        if (v >= 100)
            *out++ = static_cast<char>('0' + v / 100);
        if (v >= 10)
            *out++ = static_cast<char>('0' + v / 10 % 10);
        *out++ = static_cast<char>('0' + v % 10);
        if (i < 3)
            *out++ = '.';
    }
    return std::string(text, out);
}

std::string TSocketStack::LookUpHostName(const std::string& name, const TWaitHook& waitHook,
                                         std::optional<TIpFamily> family)
{
    return IpAddressToText(lookUp(name, waitHook, family));
}

TIpAddress TSocketStack::lookUp(const std::string& name, const TWaitHook& waitHook, std::optional<TIpFamily> family)
{
    const std::shared_ptr<TPendingLookUp> lookUp
        = waitHook ? BeginLookUp(name, family) : TSocketStack::BeginLookUp(name, family);
    while (!lookUp->WaitFor(WaitSliceMs))
        waitHook();
    // The error number came from the thread that looked the name up, which is why it travels with the answer.
    if (!lookUp->Found())
        ThrowSocketError(lookUp->ErrorNumber());
    return lookUp->Address();
}

std::shared_ptr<TPendingLookUp> TSocketStack::BeginLookUp(const std::string& name, std::optional<TIpFamily> family)
{
    auto lookUp = std::make_shared<TPendingLookUp>();
    TIpAddress address;
    const bool found = GetHostByName(name, family, address);
    lookUp->Answer(found, address, found ? 0 : LastError());
    return lookUp;
}

int TSocketStack::ReceiveStamped(TSocketId socket, void* buffer, int length, std::optional<int64_t>& arrivalNs)
{
    arrivalNs.reset();
    return Receive(socket, buffer, length, MSG_DONTWAIT);
}

TSocketId TSocketStack::NewSocket(int type, int protocol, TIpFamily family)
{
    const TSocketId socket = CreateSocket(family, type, protocol);
    if (socket == InvalidSocket)
        throw ENetInvalidSocket();
    return socket;
}

void TSocketStack::CheckSocketResult(int result)
{
    if (result == -1)
        ThrowSocketError(LastError());
}

void TSocketStack::ThrowSocketError(int errorNumber)
{
    throw ENetSocketError(errorNumber, SocketErrorText(errorNumber));
}

std::string TSocketStack::SocketErrorText(int errorNumber)
{
    return Format("Socket Error # %d\r\n%s", errorNumber, BaseErrorText(errorNumber).c_str());
}

std::string TSocketStack::BaseErrorText(int errorNumber)
{
    switch (errorNumber) {
    case 10004:
        return "Interrupted system call.";
    case 10009:
        return "Bad file number.";
    case 10013:
        return "Access denied.";
    case 10014:
        return "Bad address.";
    case 10022:
        return "Invalid argument.";
    case 10024:
        return "Too many open files.";
    case 10035:
        return "Operation would block. ";
    case 10036:
        return "Operation now in progress.";
    case 10037:
        return "Operation already in progress.";
    case 10038:
        return "Socket operation on non-socket.";
    case 10039:
        return "Destination address required.";
    case 10040:
        return "Message too long.";
    case 10041:
        return "Protocol wrong type for socket.";
    case 10042:
        return "Bad protocol option.";
    case 10043:
        return "Protocol not supported.";
    case 10044:
        return "Socket type not supported.";
    case 10045:
        return "Operation not supported on socket.";
    case 10046:
        return "Protocol family not supported.";
    case 10047:
        return "Address family not supported by protocol family.";
    case 10048:
        return "Address already in use.";
    case 10049:
        return "Cannot assign requested address.";
    case 10050:
        return "Network is down.";
    case 10051:
        return "Network is unreachable.";
    case 10052:
        return "Net dropped connection or reset.";
    case 10053:
        return "Software caused connection abort.";
    case 10054:
        return "Connection reset by peer.";
    case 10055:
        return "No buffer space available.";
    case 10056:
        return "Socket is already connected.";
    case 10057:
        return "Socket is not connected.";
    case 10058:
        return "Cannot send or receive after socket is closed.";
    case 10059:
        return "Too many references, cannot splice.";
    case 10060:
        return "Connection timed out.";
    case 10061:
        return "Connection refused.";
    case 10062:
        return "Too many levels of symbolic links.";
    case 10063:
        return "File name too long.";
    case 10064:
        return "Host is down.";
    case 10065:
        return "No route to host.";
    case 10066:
        return "Directory not empty";
    default:
        return std::string();
    }
}

int TSocketStack::WaitForSockets(std::vector<TSocketId>* readList, std::vector<TSocketId>* writeList,
                                 std::vector<TSocketId>* errorList, int timeoutMs)
{
    TSocketSet sets[3];
    std::vector<TSocketId>* lists[3] = {readList, writeList, errorList};
    for (int i = 0; i < 3; ++i) {
        if (!lists[i])
            continue;
        if (lists[i]->size() > TSocketSet::Capacity)
            throw ENetStackSetSizeExceeded();
        for (const TSocketId id : *lists[i])
            sets[i].ids[static_cast<size_t>(sets[i].count++)] = id;
    }
    std::optional<TWaitTime> timeout;
    if (timeoutMs != -2)
        timeout = TWaitTime {timeoutMs / 1000, (timeoutMs % 1000) * 1000L};
    const int result = Select(&sets[0], &sets[1], &sets[2], timeout);
    for (int i = 0; i < 3; ++i)
        if (lists[i])
            lists[i]->assign(sets[i].ids.begin(), sets[i].ids.begin() + sets[i].count);
    return result;
}
