#include "update/curl_driver.h"

#include <climits>

namespace {

// The longest wait for the sockets, so the pump runs at least this often.
constexpr int WaitMs = 10;

} // namespace

TCurlDriver::TCurlDriver(CURL* easy, TBounds bounds, std::function<void()> pump, std::function<bool()> aborted)
    : m_easy(easy)
    , m_bounds(bounds)
    , m_pump(std::move(pump))
    , m_aborted(std::move(aborted))
{
    curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
    // Left at curl's default of 300 s, the connect time-out would count the pump's wall-clock time too.
    curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(INT_MAX));
    curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
    m_multi = curl_multi_init();
    m_attached = m_multi && curl_multi_add_handle(m_multi, m_easy) == CURLM_OK;
    if (!m_attached)
        finish(TResult::Failed, CURLE_FAILED_INIT);
}

TCurlDriver::~TCurlDriver()
{
    if (m_attached)
        curl_multi_remove_handle(m_multi, m_easy);
    curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, nullptr);
    if (m_multi)
        curl_multi_cleanup(m_multi);
}

TCurlDriver::TResult TCurlDriver::Run()
{
    RunUntil(nullptr);
    return m_result;
}

bool TCurlDriver::RunUntil(const std::function<bool()>& ready)
{
    for (;;) {
        if (m_result == TResult::Running)
            step();
        if (ready && ready())
            return true;
        if (m_result != TResult::Running)
            return false;
        if (m_aborted && m_aborted()) {
            finish(TResult::Aborted, CURLE_ABORTED_BY_CALLBACK);
            return false;
        }
        wait();
    }
}

std::chrono::milliseconds TCurlDriver::NetworkTime() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_driven);
}

void TCurlDriver::step()
{
    const auto start = Clock::now();
    int running = 0;
    // Only a multi handle that can no longer work (out of memory, say) fails here; it would never finish.
    if (const CURLMcode broken = curl_multi_perform(m_multi, &running); broken != CURLM_OK) {
        finish(TResult::Failed, CURLE_FAILED_INIT);
        m_errorText = curl_multi_strerror(broken);
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy)
            finish(message->data.result == CURLE_OK ? TResult::Done : TResult::Failed, message->data.result);
    }
    m_driven += Clock::now() - start;
    if (m_result == TResult::Running)
        checkBounds();
}

void TCurlDriver::wait()
{
    const auto start = Clock::now();
    curl_multi_poll(m_multi, nullptr, 0, WaitMs, nullptr);
    m_driven += Clock::now() - start;
    if (m_pump)
        m_pump();
}

void TCurlDriver::checkBounds()
{
    curl_off_t received = 0;
    curl_off_t sent = 0;
    long headers = 0;
    curl_easy_getinfo(m_easy, CURLINFO_SIZE_DOWNLOAD_T, &received);
    curl_easy_getinfo(m_easy, CURLINFO_SIZE_UPLOAD_T, &sent);
    curl_easy_getinfo(m_easy, CURLINFO_HEADER_SIZE, &headers);
    const curl_off_t moved = received + sent + headers;
    if (moved != m_moved) {
        m_moved = moved;
        m_lastMovement = m_driven;
        m_connected = true;
    }
    if (!m_connected) {
        curl_off_t connectTime = 0;
        curl_easy_getinfo(m_easy, CURLINFO_CONNECT_TIME_T, &connectTime);
        m_connected = connectTime > 0;
    }
    const auto over = [this](int boundMs, Clock::duration since) {
        return boundMs > 0 && m_driven - since >= std::chrono::milliseconds(boundMs);
    };
    if ((!m_connected && over(m_bounds.connectMs, {})) || over(m_bounds.totalMs, {})
        || over(m_bounds.stallMs, m_lastMovement))
        finish(TResult::TimedOut, CURLE_OPERATION_TIMEDOUT);
}

void TCurlDriver::finish(TResult result, CURLcode code)
{
    m_result = result;
    m_code = code;
    // curl's buffer says more (the host, the errno) when it was curl that failed.
    m_errorText = result == TResult::Failed && m_errorBuffer[0] ? m_errorBuffer : curl_easy_strerror(code);
}
