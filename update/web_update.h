// The live-update component: reads the product's update page over HTTP, compares the published version with
// the installed one, reports through its events and, when its owner lets it, downloads the new file.
#pragma once

#include "update/info_page.h"
#include "update/version_compare.h"

#include <QFlags>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum TUpdateOption { uoRunUpdate = 1, uoTerminate = 2, uoOverwrite = 4 };
Q_DECLARE_FLAGS(TUpdateOptions, TUpdateOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TUpdateOptions)

class TProductInfo
{
public:
    const std::string& URL() const { return m_url; }
    // An address without "http://" in front (in any case) gets it.
    void SetURL(const std::string& url);

    std::string Version = "1.0";
    int VersionFormat = vfStandard;

private:
    std::string m_url = "http://";
};

struct TInfoCaption
{
    std::string OkButton = "&OK";
    std::string CancelButton = "&Cancel";
    std::string CheckForUpdate = "C&heck for updates in the future";
};

// The window that shows the update page and asks whether to go on; the desktop side provides it.
class IUpdateInfoWindow
{
public:
    virtual ~IUpdateInfoWindow() = default;
    // Shows `page`, read from `url`, modally; true when closed with OK. `checkForUpdate` is the check box,
    // on entry and on return.
    virtual bool Execute(const TInfoCaption& captions, const std::string& url, const std::vector<std::string>& page,
                         bool& checkForUpdate)
        = 0;
};

class TWebUpdate
{
public:
    // Bounds that keep a dead or hostile server from holding the program: the connection, the pages of one
    // check with its redirections, a download that stops moving, the page's size and the redirections
    // followed. The times are network time: commands the user runs while a transfer waits do not count.
    static constexpr int ConnectTimeoutMs = 3000;
    static constexpr int CheckTimeoutMs = 10000;
    static constexpr int StallTimeoutMs = 30000;
    static constexpr int32_t MaxPageSize = 1 << 20;
    static constexpr int MaxRedirections = 8;

    TWebUpdate();
    virtual ~TWebUpdate();
    TWebUpdate(const TWebUpdate&) = delete;
    TWebUpdate& operator=(const TWebUpdate&) = delete;

    // One whole check; true only when a newer file was downloaded completely (and started if asked).
    bool CheckAndUpdate();
    // Stops the transfer in progress at its next test; it then fails without the error event.
    void CancelTransfer() { m_abort = true; }

    // One GET into memory (the page) or into `fileName`; the outcome is also Succeeded(). A page fetched
    // outside a check gets the whole check's bound for itself.
    bool HttpFetch(const std::string& url, const std::string& userName, const std::string& password, bool toFile,
                   bool requireLength, const std::string& fileName = std::string());
    virtual void SplitUrl(const std::string& url, std::string& host, std::string& path) const;
    virtual std::string DefaultClientFileName() const;

    const TUpdateInfo& Info() const { return m_info; }
    // The lines of the last page fetched; split on demand, since only the text of the page is kept.
    std::vector<std::string> PageLines() const { return SplitPageLines(m_page); }
    const std::string& LocalFileName() const { return m_localFileName; }
    bool Succeeded() const { return m_success; }
    bool Busy() const { return m_busy; }
    int32_t Total() const { return m_total; }
    int32_t Downloaded() const { return m_downloaded; }
    // The component's own revision; assigning it has no effect.
    std::string Version() const { return "1.2"; }
    void SetVersion(const std::string&) { }

    TProductInfo ProductInfo;
    TTagInfo TagInfo;
    TInfoCaption InfoCaption;
    std::string UserName;
    std::string Password;
    TUpdateOptions Options = TUpdateOptions(uoRunUpdate) | uoTerminate;

    // Called while a transfer waits and after every piece; by default it dispatches the application's events.
    std::function<void()> ProcessMessages;
    // Makes the information window on its first use.
    std::function<std::unique_ptr<IUpdateInfoWindow>()> CreateInfoWindow;

    std::function<void(TWebUpdate& Sender)> OnBeforeGetInfo;
    std::function<void(TWebUpdate& Sender)> OnAfterGetInfo;
    std::function<void(TWebUpdate& Sender)> OnNoUpdateFound;
    std::function<void(TWebUpdate& Sender, const std::string& ActualVersion, const std::string& NewVersion,
                       bool& CanUpdate)>
        OnUpdateAvailable;
    std::function<void(TWebUpdate& Sender, bool& ShowInfo, bool& CheckForUpdate)> OnBeforeShowInfo;
    std::function<void(TWebUpdate& Sender, bool CheckForUpdate)> OnAfterShowInfo;
    std::function<void(TWebUpdate& Sender, int32_t Total, int32_t Downloaded)> OnDownload;
    std::function<void(TWebUpdate& Sender)> OnDownloadError;
    std::function<void(TWebUpdate& Sender, std::string& FileName)> OnGetClientFileName;
    std::function<void(TWebUpdate& Sender, std::string& FileName, bool& Overwrite)> OnClientFileExists;
    std::function<void(TWebUpdate& Sender, const std::string& FileName)> OnBeforeDownload;
    std::function<void(TWebUpdate& Sender, const std::string& FileName)> OnAfterDownload;
    std::function<void(TWebUpdate& Sender)> OnCannotExecute;

protected:
    virtual void DoDownload();
    virtual void DoDownloadError();
    virtual void DoBeforeDownload(const std::string& FileName);
    virtual void DoAfterDownload(const std::string& FileName);
    virtual void DoNoUpdateFound();
    virtual void DoAfterGetInfo();
    virtual void DoBeforeGetInfo();
    virtual void DoCannotExecute();
    virtual bool ShowInfoWindow();

    void FetchInfoPage();
    bool IsNewerVersion();
    void DownloadNewVersion();

private:
    void processMessages();

    TUpdateInfo m_info;
    std::string m_page;
    // Network time the running check's pages may still take; empty outside a check.
    std::optional<std::chrono::milliseconds> m_pageTimeLeft;
    std::string m_localFileName;
    std::unique_ptr<IUpdateInfoWindow> m_infoWindow;
    bool m_busy = false;
    bool m_abort = false;
    bool m_success = false;
    int32_t m_total = 0;
    int32_t m_downloaded = 0;
};
