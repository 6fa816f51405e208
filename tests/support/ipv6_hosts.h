// IPv6 hosts inside a test's own namespaces (scripts/run-isolated): addresses of 2001:db8::/32 on loopback,
// one that drops echo requests, one that refuses them with an ICMPv6 error, and a name that has only an
// IPv6 address. Needs root; everything is taken down again with the object.
#pragma once

#include <string>

class Ipv6TestHosts
{
public:
    static constexpr const char* Answering = "2001:db8::1";
    static constexpr const char* Silent = "2001:db8::2";
    static constexpr const char* Refusing = "2001:db8::3";
    // Stand for Answering, in a hosts file of the test's own; the second for 127.0.0.1 as well.
    static constexpr const char* Ipv6OnlyName = "v6only.corvane-test";
    static constexpr const char* DualStackName = "dual.corvane-test";

    Ipv6TestHosts();
    ~Ipv6TestHosts();
    Ipv6TestHosts(const Ipv6TestHosts&) = delete;
    Ipv6TestHosts& operator=(const Ipv6TestHosts&) = delete;

    // Whether the hosts are in place; when not, Error() says why.
    bool Ready() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }

private:
    std::string m_error;
    std::string m_hostsCopy;
    bool m_mounted = false;
};
