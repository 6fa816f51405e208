// What a host line asks for, and which lines the editor refuses.
#include "probes/check_target.h"

#include <gtest/gtest.h>

namespace {

TEST(CheckTargetTest, HostLinesReadAsEchoesPortsOrWebAddresses)
{
    using K = TCheckTarget::TKind;
    struct Case
    {
        const char* line;
        TCheckError error;
        K kind;
        const char* host;
        uint16_t port;
    };
    const Case cases[] = {
        {"router", TCheckError::None, K::Echo, "router", 0},
        {"10.0.0.1", TCheckError::None, K::Echo, "10.0.0.1", 0},
        {"2001:db8::1", TCheckError::None, K::Echo, "2001:db8::1", 0},
        {"fe80::1%eth0", TCheckError::None, K::Echo, "fe80::1%eth0", 0},
        {":443", TCheckError::None, K::Echo, ":443", 0},
        {"example.org:443", TCheckError::None, K::Tcp, "example.org", 443},
        {"10.0.0.1:22", TCheckError::None, K::Tcp, "10.0.0.1", 22},
        {"[::1]:8080", TCheckError::None, K::Tcp, "::1", 8080},
        {"[fe80::1%eth0]:1", TCheckError::None, K::Tcp, "fe80::1%eth0", 1},
        {"host:65535", TCheckError::None, K::Tcp, "host", 65535},
        {"host:0", TCheckError::BadPort, K::Tcp, "host", 0},
        {"host:65536", TCheckError::BadPort, K::Tcp, "host", 0},
        {"host:080", TCheckError::BadPort, K::Tcp, "host", 0},
        {"host:", TCheckError::BadPort, K::Tcp, "host", 0},
        {"host:ssh", TCheckError::BadPort, K::Tcp, "host", 0},
        {"[::1]:99999999999", TCheckError::BadPort, K::Tcp, "::1", 0},
        {"https://example.org/", TCheckError::None, K::Http, "example.org", 0},
        {"HTTP://user:pw@example.org:8080/a?b", TCheckError::None, K::Http, "example.org", 8080},
        {"http://[::1]:8080/", TCheckError::None, K::Http, "::1", 8080},
        {"http://", TCheckError::NoHost, K::Echo, "", 0},
        {"https:///path", TCheckError::NoHost, K::Echo, "", 0},
        {"http://host:0/", TCheckError::BadPort, K::Echo, "", 0},
        {"http://[::1/", TCheckError::UnclosedBracket, K::Echo, "", 0},
        {"http://a b/", TCheckError::Blank, K::Echo, "", 0},
    };
    for (const Case& c : cases) {
        TCheckTarget target;
        EXPECT_EQ(ParseCheckTarget(c.line, target), c.error) << c.line;
        if (c.error != TCheckError::None)
            continue;
        EXPECT_EQ(target.Kind, c.kind) << c.line;
        EXPECT_EQ(target.Host, c.host) << c.line;
        EXPECT_EQ(target.Port, c.port) << c.line;
        if (c.kind == K::Http) {
            EXPECT_EQ(target.Url, c.line);
        }
    }
}

} // namespace
