// What a resource's host line asks for: an echo to a host as ever, a TCP connect to a port, or an HTTP GET
// of a URL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct TCheckTarget
{
    enum class TKind : uint8_t {
        Echo, // a name or an address, pinged
        Tcp, // "name:port", "a.b.c.d:port", "[IPv6]:port"
        Http, // "http://..." or "https://..."
    };

    TKind Kind = TKind::Echo;
    // The host to resolve: the whole line for an echo, the name or address for a connect (without its
    // brackets), the URL's host for HTTP.
    std::string Host;
    uint16_t Port = 0; // TCP's port; for HTTP the URL's, 0 when it names none
    std::string Url; // HTTP only, as written
    bool Secure = false; // https
};

// Why a line that means a port or a URL is wrong.
enum class TCheckError : uint8_t {
    None,
    BadPort, // not a number from 1 to 65535
    NoHost, // a URL without a host
    UnclosedBracket, // "[" without its "]"
    Blank, // a URL with a space or a control character in it
};

// Reads a host line. A line that is neither a port nor a URL is a host, as it has always been.
TCheckError ParseCheckTarget(std::string_view line, TCheckTarget& target);
// What the editor and the row tip say of an error, in the user's language.
std::string CheckErrorText(TCheckError error);
