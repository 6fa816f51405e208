#include "tests/support/silent_resolver.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

std::string read(const char* path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

void write(const char* path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

} // namespace

SilentResolver::SilentResolver(int timeoutSeconds)
{
    // The files are only ours to change where scripts/run-isolated has mounted private copies over them.
    const std::string mounts = read("/proc/self/mountinfo");
    if (!std::getenv("CORVANE_ISOLATED") || mounts.find(" /etc/nsswitch.conf ") == std::string::npos
        || mounts.find(" /etc/resolv.conf ") == std::string::npos) {
        m_error = "needs the private name-service files of scripts/run-isolated";
        return;
    }
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at {};
    at.sin_family = AF_INET;
    at.sin_port = htons(53);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_socket, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        m_error = "cannot take port 53 on loopback";
        ::close(m_socket);
        m_socket = -1;
        return;
    }
    m_savedNsswitch = read("/etc/nsswitch.conf");
    m_savedResolvConf = read("/etc/resolv.conf");
    write("/etc/nsswitch.conf", "hosts: files dns\n");
    write("/etc/resolv.conf",
          "nameserver 127.0.0.1\n"
              + (timeoutSeconds > 0 ? "options timeout:" + std::to_string(timeoutSeconds) + " attempts:1\n" : ""));
}

SilentResolver::~SilentResolver()
{
    if (m_socket < 0)
        return;
    write("/etc/nsswitch.conf", m_savedNsswitch);
    write("/etc/resolv.conf", m_savedResolvConf);
    ::close(m_socket);
}
