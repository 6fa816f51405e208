// Runs one libcurl transfer from the calling thread beside an event loop, within time bounds that count the
// network's time and not the time the event loop spends on the user's commands meanwhile.
#pragma once

#include <chrono>
#include <curl/curl.h>
#include <functional>
#include <string>

// Contract:
// - The caller prepares the easy handle completely (address, protocol options, its own data callbacks) and
//   keeps owning it. The driver puts it on a multi handle of its own and takes it off again when the driver
//   is destroyed; clean the easy handle up only after that. One driver runs one transfer, once.
// - The driver owns the time bounds: set no CURLOPT_TIMEOUT*, CURLOPT_CONNECTTIMEOUT* or CURLOPT_LOW_SPEED_*
//   on the handle. It puts curl's own connect time-out out of reach, because curl counts wall-clock time.
//   It also sets CURLOPT_NOSIGNAL and its own CURLOPT_ERRORBUFFER, which it takes off again when destroyed.
// - Each wait for the sockets lasts at most 10 ms; after it the pump runs. The pump may dispatch events and
//   run nested commands for as long as they take, but must not re-enter this driver. The abort predicate is
//   asked before each wait; once it answers true the transfer ends as Aborted.
// - The bounds count only the time spent in curl and in the driver's own waits: neither the pump's time nor
//   the time between the caller's calls. `connectMs` runs until the connection to the server (or the proxy)
//   stands, `totalMs` covers the whole transfer, `stallMs` a stretch in which no byte moves either way.
//   0 leaves a bound off.
// - Outcomes: Done when curl finished the transfer without error, Failed with curl's error, TimedOut when a
//   bound ran out, Aborted when the predicate asked for it. ErrorText() is curl's text for all but Done.
class TCurlDriver final
{
public:
    enum class TResult { Running, Done, Failed, TimedOut, Aborted };

    struct TBounds
    {
        int connectMs = 0;
        int totalMs = 0;
        int stallMs = 0;
    };

    TCurlDriver(CURL* easy, TBounds bounds, std::function<void()> pump, std::function<bool()> aborted);
    ~TCurlDriver();
    TCurlDriver(const TCurlDriver&) = delete;
    TCurlDriver& operator=(const TCurlDriver&) = delete;

    // Drives the transfer to its end.
    TResult Run();
    // Drives it until `ready` holds (asked after every step of curl's) or it ends; true when `ready` held.
    // A caller that reads a response piece by piece stops here between pieces, and may stop for good.
    bool RunUntil(const std::function<bool()>& ready);

    TResult Result() const { return m_result; }
    CURLcode Code() const { return m_code; }
    const std::string& ErrorText() const { return m_errorText; }
    // The time counted against the bounds so far.
    std::chrono::milliseconds NetworkTime() const;

private:
    using Clock = std::chrono::steady_clock;

    void step();
    void wait();
    void finish(TResult result, CURLcode code);
    void checkBounds();

    CURL* m_easy;
    CURLM* m_multi = nullptr;
    bool m_attached = false;
    TBounds m_bounds;
    std::function<void()> m_pump;
    std::function<bool()> m_aborted;
    TResult m_result = TResult::Running;
    CURLcode m_code = CURLE_OK;
    std::string m_errorText;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    Clock::duration m_driven {};
    Clock::duration m_lastMovement {};
    curl_off_t m_moved = 0;
    bool m_connected = false;
};
