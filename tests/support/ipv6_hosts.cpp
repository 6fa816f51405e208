#include "tests/support/ipv6_hosts.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

const std::string Addresses[] = {Ipv6TestHosts::Answering, Ipv6TestHosts::Silent, Ipv6TestHosts::Refusing};

} // namespace

Ipv6TestHosts::Ipv6TestHosts()
{
    // Mounting over /etc/hosts is only harmless in a mount namespace of the test's own.
    if (!std::getenv("CORVANE_ISOLATED") || ::geteuid() != 0) {
        m_error = "needs root inside scripts/run-isolated";
        return;
    }
    // Without duplicate address detection the addresses are usable at once.
    for (const std::string& address : Addresses)
        if (!run("ip -6 addr replace " + address + "/128 dev lo nodad")) {
            m_error = "cannot add " + address + " to loopback (IPv6 off?)";
            return;
        }
    if (!run("nft add table ip6 cvtest6 && nft add chain ip6 cvtest6 input '{ type filter hook input priority 0; }'"
             " && nft add rule ip6 cvtest6 input ip6 daddr "
             + std::string(Silent) + " icmpv6 type echo-request drop && nft add rule ip6 cvtest6 input ip6 daddr "
             + Refusing + " icmpv6 type echo-request reject")) {
        m_error = "cannot set the nft rules (is nft installed?)";
        return;
    }
    std::ostringstream hosts;
    hosts << std::ifstream("/etc/hosts").rdbuf() << '\n'
          << Answering << ' ' << Ipv6OnlyName << ' ' << DualStackName << "\n127.0.0.1 " << DualStackName << '\n';
    char path[] = "/tmp/corvane-hosts-XXXXXX";
    const int fd = ::mkstemp(path);
    // Readable by all, as /etc/hosts is: the tests also look names up as an ordinary user.
    if (fd < 0 || ::fchmod(fd, 0644) != 0 || ::write(fd, hosts.str().data(), hosts.str().size()) < 0) {
        m_error = "cannot write a hosts file";
        return;
    }
    ::close(fd);
    m_hostsCopy = path;
    if (::mount(path, "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) {
        m_error = "cannot mount a hosts file of our own";
        return;
    }
    m_mounted = true;
}

Ipv6TestHosts::~Ipv6TestHosts()
{
    if (m_mounted)
        ::umount2("/etc/hosts", MNT_DETACH);
    if (!m_hostsCopy.empty())
        std::remove(m_hostsCopy.c_str());
    if (std::getenv("CORVANE_ISOLATED") && ::geteuid() == 0) {
        run("nft delete table ip6 cvtest6");
        for (const std::string& address : Addresses)
            run("ip -6 addr del " + address + "/128 dev lo");
    }
}
