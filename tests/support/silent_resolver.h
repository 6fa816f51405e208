// A name server that takes every query and never answers, inside a test's own namespaces only: names that
// are not in /etc/hosts then hang in the resolver until its time-out, as with an unreachable DNS server.
#pragma once

#include <string>

class SilentResolver
{
public:
    // `timeoutSeconds` 0 keeps the resolver's own time-out (5 s, two attempts); any other value is one
    // attempt of that length.
    explicit SilentResolver(int timeoutSeconds = 0);
    ~SilentResolver();
    SilentResolver(const SilentResolver&) = delete;
    SilentResolver& operator=(const SilentResolver&) = delete;

    // Whether the resolver is in place; when not, Error() says why.
    bool Ready() const { return m_socket >= 0; }
    const std::string& Error() const { return m_error; }

    // A name that only this resolver would be asked about.
    static constexpr const char* SlowName = "slow.corvane-test";

private:
    int m_socket = -1;
    std::string m_error;
    std::string m_savedNsswitch;
    std::string m_savedResolvConf;
};
