#include "update/web_update.h"

#include "platform/int_conversion.h"
#include "platform/shell_open.h"
#include "update/http_transfer.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace {

constexpr size_t PieceSize = 1025;

bool startsWithScheme(const std::string& url)
{
    static constexpr std::string_view scheme = "http://";
    return url.size() >= scheme.size() && std::equal(scheme.begin(), scheme.end(), url.begin(), [](char s, char c) {
               return s == std::tolower(static_cast<unsigned char>(c));
           });
}

// The raised exception ends a transfer as failed without the error event.
struct TransferFault
{
};

} // namespace

void TProductInfo::SetURL(const std::string& url)
{
    m_url = startsWithScheme(url) ? url : "http://" + url;
}

TWebUpdate::TWebUpdate() = default;

TWebUpdate::~TWebUpdate()
{
    CancelTransfer();
}

void TWebUpdate::processMessages()
{
    if (ProcessMessages)
        ProcessMessages();
    else if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void TWebUpdate::SplitUrl(const std::string& url, std::string& host, std::string& path) const
{
    const std::string rest = startsWithScheme(url) ? url.substr(7) : url;
    const size_t slash = rest.find('/');
    host = slash == std::string::npos ? std::string() : rest.substr(0, slash);
    path = slash == std::string::npos ? rest : rest.substr(slash);
}

bool TWebUpdate::HttpFetch(const std::string& url, const std::string& userName, const std::string& password,
                           bool toFile, bool requireLength, const std::string& fileName)
{
    m_abort = false;
    m_success = false;
    // A page is small and the program may be waiting for it at start-up, so the pages of a check share one
    // bound; a download may take long but must keep moving.
    const auto pageTimeLeft = m_pageTimeLeft.value_or(std::chrono::milliseconds(CheckTimeoutMs));
    if (!toFile && pageTimeLeft <= std::chrono::milliseconds(0)) {
        DoDownloadError();
        return false;
    }
    std::string text;
    try {
        std::string host;
        std::string path;
        SplitUrl(url, host, path);
        THttpTransfer::Request request {host, path, userName, password, ConnectTimeoutMs};
        if (toFile)
            request.stallTimeoutMs = StallTimeoutMs;
        else
            request.totalTimeoutMs = static_cast<int>(pageTimeLeft.count());
        THttpTransfer transfer([this] { processMessages(); }, [this] { return m_abort; });
        // However the fetch ends, its network time comes off the check's bound.
        struct Spend
        {
            std::optional<std::chrono::milliseconds>* left;
            const THttpTransfer& transfer;
            ~Spend()
            {
                if (left && *left)
                    **left -= transfer.NetworkTime();
            }
        } spend {toFile ? nullptr : &m_pageTimeLeft, transfer};
        transfer.Send(request);
        const bool answered = transfer.WaitForResponse();
        if (m_abort)
            return false;
        std::string length;
        bool hasLength = false;
        if (answered) {
            if (const auto header = transfer.Header("Content-Length")) {
                // The length is asked for into a buffer of 1024 bytes: a longer value is no answer.
                length = *header;
                hasLength = length.size() < 1024;
            }
        }
        m_success = hasLength;
        if (m_abort) {
            m_success = false;
            return false;
        }
        if (hasLength || !requireLength) {
            m_total = hasLength ? StrToInt(length) : 0;
            m_downloaded = 0;
            // With a length the body is complete once that much has come, whether or not the server then
            // closes; without one, it ends when the server closes.
            const bool bounded = hasLength && m_total >= 0;
            std::ofstream file;
            if (toFile) {
                file.open(fileName, std::ios::binary | std::ios::trunc);
                if (!file)
                    throw TransferFault();
            }
            // A page longer than any page we expect is refused before or while it comes.
            bool overrun = !toFile && m_total > MaxPageSize;
            int64_t received = 0;
            while (!overrun && !(bounded && received >= m_total)) {
                if (m_abort)
                    break;
                char piece[PieceSize];
                size_t n = transfer.Read(piece, sizeof piece);
                if (n == 0)
                    break;
                if (toFile) {
                    received += static_cast<int64_t>(n);
                    if (!file.write(piece, static_cast<std::streamsize>(n)))
                        throw TransferFault();
                    // Once past the announced length the file cannot come out right.
                    overrun = bounded && received > m_total;
                } else {
                    // Bytes after the announced length are not part of the page.
                    if (bounded)
                        n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), m_total - received));
                    received += static_cast<int64_t>(n);
                    overrun = received > MaxPageSize;
                    if (!overrun)
                        text.append(piece, n);
                }
                m_downloaded = static_cast<int32_t>(std::min<int64_t>(received, INT32_MAX));
                if (overrun)
                    break;
                DoDownload();
                processMessages();
            }
            // A cancelled transfer fails whatever it has received, and says nothing.
            if (m_abort) {
                m_success = false;
                return false;
            }
            if (toFile) {
                file.close();
                m_success = !overrun && !file.fail() && received == m_total;
            } else {
                // A page cut short by the time bound is not the page.
                m_success = !overrun && received > 0 && !transfer.TimedOut();
            }
        }
    } catch (...) {
        m_success = false;
        return false;
    }
    if (m_success && !toFile) {
        m_page = std::move(text);
        m_page.shrink_to_fit();
    }
    if (!m_success)
        DoDownloadError();
    return m_success;
}

bool TWebUpdate::CheckAndUpdate()
{
    if (m_busy)
        return false;
    m_busy = true;
    struct Idle
    {
        TWebUpdate& update;
        ~Idle()
        {
            update.m_busy = false;
            update.m_pageTimeLeft.reset();
        }
    } idle {*this};

    m_info.Redirection.clear();
    DoBeforeGetInfo();
    // A redirection chain gets no fresh bound per page: the user waits for the whole check.
    m_pageTimeLeft = std::chrono::milliseconds(CheckTimeoutMs);
    FetchInfoPage();
    DoAfterGetInfo();
    if (m_info.ProductName.empty() || m_info.Version.empty()) {
        DoDownloadError();
        m_success = false;
    }
    if (!m_success || !IsNewerVersion())
        return false;
    bool canUpdate = true;
    if (OnUpdateAvailable)
        OnUpdateAvailable(*this, ProductInfo.Version, m_info.Version, canUpdate);
    if (!canUpdate || !ShowInfoWindow())
        return false;
    DownloadNewVersion();
    if (!m_success)
        return false;
    if (Options.testFlag(uoRunUpdate)) {
        if (!ShellOpener().Launch(m_localFileName, m_info.RunParameters))
            DoCannotExecute();
        if (Options.testFlag(uoTerminate) && QCoreApplication::instance())
            QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    }
    return true;
}

void TWebUpdate::FetchInfoPage()
{
    std::vector<std::string> visited;
    auto key = [this](const std::string& address) {
        std::string host;
        std::string path;
        SplitUrl(address, host, path);
        std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return std::tolower(c); });
        return host + path;
    };
    for (;;) {
        m_info.Version.clear();
        m_info.Download.clear();
        m_info.Author.clear();
        m_info.Email.clear();
        m_info.ProductName.clear();
        m_info.RunParameters.clear();
        const std::string address = m_info.Redirection.empty() ? ProductInfo.URL() : m_info.Redirection;
        visited.push_back(key(address));
        if (!HttpFetch(address, UserName, Password, false, false))
            return;
        m_info = ParseInfoPage(m_page, TagInfo);
        if (m_info.Redirection.empty())
            return;
        // A chain that comes back to a page already read, or goes on too long, never ends by itself.
        const bool seen = std::find(visited.begin(), visited.end(), key(m_info.Redirection)) != visited.end();
        if (seen || visited.size() > static_cast<size_t>(MaxRedirections)) {
            DoDownloadError();
            m_success = false;
            return;
        }
    }
}

bool TWebUpdate::IsNewerVersion()
{
    const bool newer = PublishedVersionIsNewer(ProductInfo.Version, m_info.Version, ProductInfo.VersionFormat);
    if (!newer)
        DoNoUpdateFound();
    return newer;
}

bool TWebUpdate::ShowInfoWindow()
{
    bool showInfo = true;
    bool checkForUpdate = true;
    if (OnBeforeShowInfo)
        OnBeforeShowInfo(*this, showInfo, checkForUpdate);
    if (!showInfo)
        return true;
    if (!m_infoWindow && CreateInfoWindow)
        m_infoWindow = CreateInfoWindow();
    // With no window to ask in, nobody agreed to the download.
    if (!m_infoWindow)
        return false;
    const bool ok = m_infoWindow->Execute(InfoCaption, ProductInfo.URL(), PageLines(), checkForUpdate);
    if (OnAfterShowInfo)
        OnAfterShowInfo(*this, checkForUpdate);
    return ok;
}

std::string TWebUpdate::DefaultClientFileName() const
{
    std::error_code error;
    std::string folder = std::filesystem::temp_directory_path(error).string();
    if (error || folder.empty())
        return std::string();
    if (folder.back() != '/')
        folder += '/';
    return folder + SafeClientFileName(m_info.ClientFileName);
}

void TWebUpdate::DownloadNewVersion()
{
    m_localFileName = DefaultClientFileName();
    if (OnGetClientFileName)
        OnGetClientFileName(*this, m_localFileName);
    m_success = false;
    // A page that names no usable file gets no file written anywhere.
    if (SafeClientFileName(m_localFileName).empty()) {
        DoDownloadError();
        return;
    }
    std::error_code error;
    if (std::filesystem::exists(m_localFileName, error)) {
        bool overwrite = Options.testFlag(uoOverwrite);
        if (OnClientFileExists)
            OnClientFileExists(*this, m_localFileName, overwrite);
        if (!overwrite) {
            DoDownloadError();
            return;
        }
    }
    DoBeforeDownload(m_localFileName);
    HttpFetch(m_info.Download, UserName, Password, true, true, m_localFileName);
    DoAfterDownload(m_localFileName);
}

void TWebUpdate::DoDownload()
{
    if (OnDownload)
        OnDownload(*this, m_total, m_downloaded);
}

void TWebUpdate::DoDownloadError()
{
    if (OnDownloadError)
        OnDownloadError(*this);
}

void TWebUpdate::DoBeforeDownload(const std::string& FileName)
{
    if (OnBeforeDownload)
        OnBeforeDownload(*this, FileName);
}

void TWebUpdate::DoAfterDownload(const std::string& FileName)
{
    if (OnAfterDownload)
        OnAfterDownload(*this, FileName);
}

void TWebUpdate::DoNoUpdateFound()
{
    if (OnNoUpdateFound)
        OnNoUpdateFound(*this);
}

void TWebUpdate::DoAfterGetInfo()
{
    if (OnAfterGetInfo)
        OnAfterGetInfo(*this);
}

void TWebUpdate::DoBeforeGetInfo()
{
    if (OnBeforeGetInfo)
        OnBeforeGetInfo(*this);
}

void TWebUpdate::DoCannotExecute()
{
    if (OnCannotExecute)
        OnCannotExecute(*this);
}
