// An HTTP server for tests that answers each path as scripted and keeps every request's bytes. It listens
// on loopback (port 80 needs root, so the suites that use it run inside scripts/run-isolated).
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedHttpServer
{
public:
    struct Reply
    {
        std::string head; // status line and headers, each ending in CR LF; the blank line is added
        std::vector<std::string> chunks; // the body, sent piece by piece
        int delayBeforeMs = 0; // before the head
        int chunkDelayMs = 0; // between pieces
        bool endless = false; // after the pieces, the last one again and again until the client goes
        bool silent = false; // reads the request and never answers
        bool holdOpen = false; // after the body, keeps the connection until the client closes it
    };

    // A 200 answer with `body`, announcing its length or not.
    static Reply Page(const std::string& body, bool withLength = true);
    // An update page carrying the given META tags, one per line.
    // The update check's request for its page on 127.0.0.1, byte for byte.
    static constexpr const char* UpdatePageRequest = "GET /downloads/vanta/updates/corvane.html HTTP/1.0\r\n"
                                                     "Host: 127.0.0.1\r\n"
                                                     "User-Agent: TWebUpdate\r\n"
                                                     "Accept: */*\r\n"
                                                     "Pragma: no-cache\r\n"
                                                     "Cache-Control: no-cache\r\n"
                                                     "\r\n";
    static std::string InfoPage(const std::vector<std::pair<std::string, std::string>>& tags);

    // Port 0 takes any free port, which Port() then tells.
    explicit ScriptedHttpServer(const std::string& address = "127.0.0.1", int port = 80);
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    bool Ready() const { return m_listener >= 0; }
    const std::string& Error() const { return m_error; }
    int Port() const { return m_port; }

    // How `path` (the request target) is answered; other paths get a 404 page.
    void Set(const std::string& path, Reply reply);
    // The bytes of every request so far, in the order they came.
    std::vector<std::string> Requests();
    std::vector<std::string> Paths();

private:
    void acceptLoop();
    void serve(int connection);
    bool sendAll(int connection, const std::string& bytes);
    void pause(int milliseconds);

    int m_listener = -1;
    int m_port = 0;
    std::string m_error;
    std::atomic<bool> m_stop {false};
    std::mutex m_lock;
    std::map<std::string, Reply> m_replies;
    std::vector<std::string> m_requests;
    std::vector<std::thread> m_connections;
    std::thread m_acceptor;
};
