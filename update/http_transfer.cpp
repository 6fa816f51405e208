#include "update/http_transfer.h"

#include <algorithm>
#include <cctype>
#include <cstring>

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
{ }

THttpTransfer::~THttpTransfer()
{
    // The driver takes the request off and closes the connection before the handle goes, on every path.
    m_driver.reset();
    if (m_easy)
        curl_easy_cleanup(m_easy);
    if (m_headerList)
        curl_slist_free_all(m_headerList);
}

void THttpTransfer::Send(const Request& request)
{
    // Without a driver the transfer has ended before it began, as for an unknown host.
    if (!validHost(request.host))
        return;
    m_easy = curl_easy_init();
    if (!m_easy)
        return;
    const std::string url = "http://" + request.host + encodedPath(request.path);
    curl_easy_setopt(m_easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(m_easy, CURLOPT_PORT, 80L);
    curl_easy_setopt(m_easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(m_easy, CURLOPT_USERAGENT, "TWebUpdate");
    // The answer must come from the server itself, never from a cache on the way.
    for (const char* header : {"Accept: */*", "Pragma: no-cache", "Cache-Control: no-cache"})
        m_headerList = curl_slist_append(m_headerList, header);
    curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_headerList);
    // Paths go out as the page wrote them, dot segments included.
    curl_easy_setopt(m_easy, CURLOPT_PATH_AS_IS, 1L);
    // We judge the body against Content-Length ourselves, so a longer body must reach us too.
    curl_easy_setopt(m_easy, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    curl_easy_setopt(m_easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(m_easy, CURLOPT_BUFFERSIZE, ReadPieceSize);
    if (!request.userName.empty() || !request.password.empty()) {
        curl_easy_setopt(m_easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(m_easy, CURLOPT_USERNAME, request.userName.c_str());
        curl_easy_setopt(m_easy, CURLOPT_PASSWORD, request.password.c_str());
    }
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &THttpTransfer::onBody);
    curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, &THttpTransfer::onHeader);
    curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
    m_driver = std::make_unique<TCurlDriver>(
        m_easy, TCurlDriver::TBounds {request.connectTimeoutMs, request.totalTimeoutMs, request.stallTimeoutMs}, m_pump,
        m_aborted);
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

bool THttpTransfer::WaitForResponse()
{
    return m_driver && m_driver->RunUntil([this] { return m_headersDone; });
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
    if (m_pendingAt == m_pending.size()) {
        m_pending.clear();
        m_pendingAt = 0;
        if (!m_driver || !m_driver->RunUntil([this] { return !m_pending.empty(); }))
            return 0;
    }
    const size_t n = std::min(size, m_pending.size() - m_pendingAt);
    std::memcpy(buffer, m_pending.data() + m_pendingAt, n);
    m_pendingAt += n;
    return n;
}

bool THttpTransfer::TimedOut() const
{
    return m_driver && m_driver->Result() == TCurlDriver::TResult::TimedOut;
}

std::chrono::milliseconds THttpTransfer::NetworkTime() const
{
    return m_driver ? m_driver->NetworkTime() : std::chrono::milliseconds(0);
}
