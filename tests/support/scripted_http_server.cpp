#include "tests/support/scripted_http_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

ScriptedHttpServer::Reply ScriptedHttpServer::Page(const std::string& body, bool withLength)
{
    Reply reply;
    reply.head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";
    if (withLength)
        reply.head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    reply.chunks = {body};
    return reply;
}

std::string ScriptedHttpServer::InfoPage(const std::vector<std::pair<std::string, std::string>>& tags)
{
    std::string page = "<HTML>\r\n<HEAD>\r\n";
    for (const auto& [name, value] : tags)
        page += "<META NAME=\"" + name + "\" CONTENT=\"" + value + "\">\r\n";
    return page + "</HEAD>\r\n<BODY></BODY>\r\n</HTML>\r\n";
}

ScriptedHttpServer::ScriptedHttpServer(const std::string& address, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in at {};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &at.sin_addr);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(fd, 16) != 0) {
        m_error = "cannot listen on " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return;
    }
    m_listener = fd;
    socklen_t length = sizeof at;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
    m_port = ntohs(at.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer()
{
    m_stop = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    for (std::thread& connection : m_connections)
        connection.join();
    if (m_listener >= 0)
        ::close(m_listener);
}

void ScriptedHttpServer::Set(const std::string& path, Reply reply)
{
    std::lock_guard guard(m_lock);
    m_replies[path] = std::move(reply);
}

std::vector<std::string> ScriptedHttpServer::Requests()
{
    std::lock_guard guard(m_lock);
    return m_requests;
}

std::vector<std::string> ScriptedHttpServer::Paths()
{
    std::vector<std::string> paths;
    for (const std::string& request : Requests()) {
        const size_t from = request.find(' ') + 1;
        paths.push_back(request.substr(from, request.find(' ', from) - from));
    }
    return paths;
}

void ScriptedHttpServer::acceptLoop()
{
    while (!m_stop) {
        pollfd p {m_listener, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0)
            m_connections.emplace_back([this, connection] { serve(connection); });
    }
}

void ScriptedHttpServer::pause(int milliseconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!m_stop && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

bool ScriptedHttpServer::sendAll(int connection, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size() && !m_stop) {
        pollfd p {connection, POLLOUT, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return sent == bytes.size();
}

void ScriptedHttpServer::serve(int connection)
{
    std::string request;
    char buffer[4096];
    while (!m_stop && request.find("\r\n\r\n") == std::string::npos) {
        pollfd p {connection, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        request.append(buffer, static_cast<size_t>(n));
    }
    Reply reply;
    {
        std::lock_guard guard(m_lock);
        m_requests.push_back(request);
        const size_t from = request.find(' ') + 1;
        const auto found = m_replies.find(request.substr(from, request.find(' ', from) - from));
        if (found != m_replies.end())
            reply = found->second;
        else
            reply = Page("<HTML><BODY>Not found</BODY></HTML>");
        if (found == m_replies.end())
            reply.head.replace(9, 6, "404 Not Found");
    }
    auto holdUntilClosed = [&] {
        while (!m_stop && ::recv(connection, buffer, sizeof buffer, MSG_DONTWAIT) != 0)
            pause(20);
    };
    if (reply.silent) {
        holdUntilClosed();
    } else {
        pause(reply.delayBeforeMs);
        bool open = sendAll(connection, reply.head + "\r\n");
        for (size_t i = 0; open && i < reply.chunks.size(); ++i) {
            if (i > 0)
                pause(reply.chunkDelayMs);
            open = sendAll(connection, reply.chunks[i]);
        }
        while (open && reply.endless && !reply.chunks.empty() && !m_stop) {
            pause(reply.chunkDelayMs);
            open = sendAll(connection, reply.chunks.back());
        }
        if (open && reply.holdOpen)
            holdUntilClosed();
    }
    ::shutdown(connection, SHUT_WR);
    ::close(connection);
}
