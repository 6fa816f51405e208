#include "tests/support/silent_resolver.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* NsswitchPath = "/etc/nsswitch.conf";
constexpr const char* ResolvConfPath = "/etc/resolv.conf";

std::string read(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write(const char* path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The files are only ours to change where scripts/run-isolated has mounted private copies over them.
bool privateCopy(const char* path)
{
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string field = std::string(" ") + path + " ";
    for (std::string line; std::getline(mounts, line);)
        if (line.find(field) != std::string::npos)
            return true;
    return false;
}

} // namespace

SilentResolver::SilentResolver(int timeoutSeconds)
{
    if (!std::getenv("CORVANE_ISOLATED") || !privateCopy(NsswitchPath) || !privateCopy(ResolvConfPath)) {
        m_error = "needs the private name-service files of scripts/run-isolated";
        return;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at {};
    at.sin_family = AF_INET;
    at.sin_port = htons(53);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        m_error = "cannot take port 53 on loopback";
        if (fd >= 0)
            ::close(fd);
        return;
    }
    m_socket = fd;
    m_savedNsswitch = read(NsswitchPath);
    m_savedResolvConf = read(ResolvConfPath);
    write(NsswitchPath, "hosts: files dns\n");
    std::string conf = "nameserver 127.0.0.1\n";
    if (timeoutSeconds > 0)
        conf += "options timeout:" + std::to_string(timeoutSeconds) + " attempts:1\n";
    write(ResolvConfPath, conf);
}

SilentResolver::~SilentResolver()
{
    if (m_socket < 0)
        return;
    write(NsswitchPath, m_savedNsswitch);
    write(ResolvConfPath, m_savedResolvConf);
    ::close(m_socket);
}
