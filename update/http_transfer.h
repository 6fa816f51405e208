// One HTTP/1.0 GET over libcurl, driven from the calling thread by TCurlDriver, so a user interface keeps
// answering while it waits.
#pragma once

#include "update/curl_driver.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class THttpTransfer final
{
public:
    struct Request
    {
        std::string host; // a name or an IPv4 address; the port is always 80
        std::string path; // sent as it is, apart from blanks and control bytes, which are percent-encoded
        std::string userName;
        std::string password;
        // Network time, as TCurlDriver counts it.
        int connectTimeoutMs = 3000;
        int totalTimeoutMs = 0; // 0: no bound on the whole transfer
        int stallTimeoutMs = 0; // 0: no bound on a transfer that stops receiving
    };

    // `pump` runs between waits; `aborted` is asked before each wait and ends the transfer when true.
    THttpTransfer(std::function<void()> pump, std::function<bool()> aborted);
    ~THttpTransfer();
    THttpTransfer(const THttpTransfer&) = delete;
    THttpTransfer& operator=(const THttpTransfer&) = delete;

    // Starts the request; whether it could be sent shows in what follows.
    void Send(const Request& request);
    // Waits for the response's headers; false when none came.
    bool WaitForResponse();
    // The first value of the response header `name` (any case), with surrounding blanks removed.
    std::optional<std::string> Header(std::string_view name) const;
    // Waits for up to `size` bytes of the body: 0 at its end, on a failure or once aborted.
    size_t Read(char* buffer, size_t size);
    // The transfer ended because one of the request's time bounds ran out.
    bool TimedOut() const;
    // The time counted against the bounds so far.
    std::chrono::milliseconds NetworkTime() const;

private:
    static size_t onBody(char* data, size_t size, size_t count, void* self);
    static size_t onHeader(char* data, size_t size, size_t count, void* self);

    std::function<void()> m_pump;
    std::function<bool()> m_aborted;
    CURL* m_easy = nullptr;
    curl_slist* m_headerList = nullptr;
    std::unique_ptr<TCurlDriver> m_driver;
    bool m_headersDone = false;
    std::vector<std::pair<std::string, std::string>> m_headers;
    std::string m_pending;
    size_t m_pendingAt = 0;
};
