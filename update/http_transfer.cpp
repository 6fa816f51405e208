#include "update/http_transfer.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <curl/curl.h>
#include <mutex>

namespace {

// The piece a read asks the socket for, and the most our callbacks are handed at once.
constexpr long ReadPieceSize = 1025;

bool validHost(std::string_view host)
{
    // A port, credentials or anything else a URL parser would take apart is no host of ours: such an
    // address fails as an unknown one would.
    return !host.empty() && std::all_of(host.begin(), host.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '-' || c == '_';
    });
}

std::string encodedPath(std::string_view path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        // '#' would be taken for a fragment and cut off; the rest could not go on the request line.
        if (c <= 0x20 || c >= 0x7f || c == '#') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool sameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

THttpTransfer::THttpTransfer(std::function<void()> pump, std::function<bool()> aborted)
    : m_pump(std::move(pump))
    , m_aborted(std::move(aborted))
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

THttpTransfer::~THttpTransfer()
{
    // The request, the connection and the client go in that order, on every path.
    if (m_multi && m_easy)
        curl_multi_remove_handle(m_multi, m_easy);
    if (m_easy)
        curl_easy_cleanup(m_easy);
    if (m_headerList)
        curl_slist_free_all(static_cast<curl_slist*>(m_headerList));
    if (m_multi)
        curl_multi_cleanup(m_multi);
}

void THttpTransfer::Send(const Request& request)
{
    if (!validHost(request.host)) {
        m_done = true;
        m_result = CURLE_COULDNT_RESOLVE_HOST;
        return;
    }
    m_multi = curl_multi_init();
    m_easy = curl_easy_init();
    if (!m_multi || !m_easy) {
        m_done = true;
        m_result = CURLE_FAILED_INIT;
        return;
    }
    const std::string url = "http://" + request.host + encodedPath(request.path);
    curl_easy_setopt(m_easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(m_easy, CURLOPT_PORT, 80L);
    curl_easy_setopt(m_easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(m_easy, CURLOPT_USERAGENT, "TWebUpdate");
    // The answer must come from the server itself, never from a cache on the way.
    curl_slist* headers = nullptr;
    for (const char* header : {"Accept: */*", "Pragma: no-cache", "Cache-Control: no-cache"})
        headers = curl_slist_append(headers, header);
    m_headerList = headers;
    curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, headers);
    // Paths go out as the page wrote them, dot segments included.
    curl_easy_setopt(m_easy, CURLOPT_PATH_AS_IS, 1L);
    // We judge the body against Content-Length ourselves, so a longer body must reach us too.
    curl_easy_setopt(m_easy, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    curl_easy_setopt(m_easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_easy, CURLOPT_BUFFERSIZE, ReadPieceSize);
    curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeoutMs));
    if (request.totalTimeoutMs > 0)
        curl_easy_setopt(m_easy, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeoutMs));
    if (request.stallTimeoutMs > 0) {
        curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>((request.stallTimeoutMs + 999) / 1000));
    }
    if (!request.userName.empty() || !request.password.empty()) {
        curl_easy_setopt(m_easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(m_easy, CURLOPT_USERNAME, request.userName.c_str());
        curl_easy_setopt(m_easy, CURLOPT_PASSWORD, request.password.c_str());
    }
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &THttpTransfer::onBody);
    curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, &THttpTransfer::onHeader);
    curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
    if (curl_multi_add_handle(m_multi, m_easy) != CURLM_OK) {
        m_done = true;
        m_result = CURLE_FAILED_INIT;
    }
}

size_t THttpTransfer::onBody(char* data, size_t size, size_t count, void* self)
{
    auto* transfer = static_cast<THttpTransfer*>(self);
    transfer->m_pending.append(data, size * count);
    return size * count;
}

size_t THttpTransfer::onHeader(char* data, size_t size, size_t count, void* self)
{
    auto* transfer = static_cast<THttpTransfer*>(self);
    const std::string_view line(data, size * count);
    if (line.substr(0, 5) == "HTTP/") {
        // A new status line starts a new header block (after an interim 1xx answer, say).
        transfer->m_headers.clear();
        transfer->m_headersDone = false;
    } else if (trimmed(line).empty()) {
        long code = 0;
        curl_easy_getinfo(transfer->m_easy, CURLINFO_RESPONSE_CODE, &code);
        transfer->m_headersDone = code < 100 || code >= 200;
    } else if (const size_t colon = line.find(':'); colon != std::string_view::npos) {
        transfer->m_headers.emplace_back(std::string(trimmed(line.substr(0, colon))),
                                         std::string(trimmed(line.substr(colon + 1))));
    }
    return size * count;
}

void THttpTransfer::step()
{
    if (m_done)
        return;
    int running = 0;
    curl_multi_perform(m_multi, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg == CURLMSG_DONE) {
            m_done = true;
            m_result = message->data.result;
        }
    }
}

void THttpTransfer::wait()
{
    curl_multi_poll(m_multi, nullptr, 0, 10, nullptr);
    if (m_pump)
        m_pump();
}

bool THttpTransfer::WaitForResponse()
{
    for (;;) {
        step();
        if (m_headersDone)
            return true;
        if (m_done || (m_aborted && m_aborted()))
            return false;
        wait();
    }
}

std::optional<std::string> THttpTransfer::Header(std::string_view name) const
{
    for (const auto& [key, value] : m_headers)
        if (sameIgnoringCase(key, name))
            return value;
    return std::nullopt;
}

size_t THttpTransfer::Read(char* buffer, size_t size)
{
    for (;;) {
        if (m_pendingAt < m_pending.size()) {
            const size_t n = std::min(size, m_pending.size() - m_pendingAt);
            std::memcpy(buffer, m_pending.data() + m_pendingAt, n);
            m_pendingAt += n;
            if (m_pendingAt == m_pending.size()) {
                m_pending.clear();
                m_pendingAt = 0;
            }
            return n;
        }
        if (m_done || (m_aborted && m_aborted()))
            return 0;
        step();
        if (m_pendingAt < m_pending.size() || m_done)
            continue;
        wait();
    }
}

bool THttpTransfer::TimedOut() const
{
    return m_done && m_result == CURLE_OPERATION_TIMEDOUT;
}
