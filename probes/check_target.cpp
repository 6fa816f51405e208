#include "probes/check_target.h"

#include <algorithm>
#include <cctype>

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

bool allDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

TCheckError readPort(std::string_view digits, uint16_t& port)
{
    // Leading zeros are no port a user writes, and a long run of digits would overflow on the way.
    if (!allDigits(digits) || digits.size() > 5 || digits.front() == '0' || std::stoul(std::string(digits)) > 65535)
        return TCheckError::BadPort;
    port = static_cast<uint16_t>(std::stoul(std::string(digits)));
    return TCheckError::None;
}

TCheckError parseUrl(std::string_view line, size_t schemeLength, TCheckTarget& target)
{
    std::string_view rest = line.substr(schemeLength);
    const size_t end = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, end);
    // What comes before an "@" is a user name and password, not the host.
    if (const size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    std::string_view host = authority;
    std::string_view port;
    if (!host.empty() && host.front() == '[') {
        const size_t close = host.find(']');
        if (close == std::string_view::npos)
            return TCheckError::UnclosedBracket;
        port = host.substr(close + 1);
        host = host.substr(1, close - 1);
        if (!port.empty() && port.front() != ':')
            return TCheckError::BadPort;
    } else if (const size_t colon = host.rfind(':'); colon != std::string_view::npos) {
        port = host.substr(colon);
        host = host.substr(0, colon);
    }
    if (host.empty())
        return TCheckError::NoHost;
    if (!port.empty()) {
        if (const TCheckError bad = readPort(port.substr(1), target.Port); bad != TCheckError::None)
            return bad;
    }
    if (std::any_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; }))
        return TCheckError::Blank;
    target.Kind = TCheckTarget::TKind::Http;
    target.Secure = schemeLength == 8;
    target.Host = std::string(host);
    target.Url = std::string(line);
    return TCheckError::None;
}

} // namespace

TCheckError ParseCheckTarget(std::string_view line, TCheckTarget& target)
{
    target = TCheckTarget();
    if (startsWithNoCase(line, "http://"))
        return parseUrl(line, 7, target);
    if (startsWithNoCase(line, "https://"))
        return parseUrl(line, 8, target);
    if (!line.empty() && line.front() == '[') {
        const size_t close = line.find("]:");
        if (close == std::string_view::npos || close == 1) {
            target.Host = std::string(line);
            return TCheckError::None;
        }
        target.Kind = TCheckTarget::TKind::Tcp;
        target.Host = std::string(line.substr(1, close - 1));
        return readPort(line.substr(close + 2), target.Port);
    }
    // One colon makes a port; more are an IPv6 address, pinged as it is.
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos && line.find(':', colon + 1) == std::string_view::npos && colon > 0) {
        target.Kind = TCheckTarget::TKind::Tcp;
        target.Host = std::string(line.substr(0, colon));
        return readPort(line.substr(colon + 1), target.Port);
    }
    target.Host = std::string(line);
    return TCheckError::None;
}
