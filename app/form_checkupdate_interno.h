// The update form: it runs the update check at start-up and on request, and tells the outcome in a notice
// from the panel's corner. The form itself is never shown.
#pragma once

#include "update/web_update.h"

#include <QWidget>

#include <string>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class TTrayPopUp;

// The address of the update page on `host`.
std::string UpdatePageUrl(const std::string& host);

class Tform_checkupdate_interno final : public QWidget
{
    Q_OBJECT

public:
    Tform_checkupdate_interno();
    ~Tform_checkupdate_interno() override;

    // The start-up check.
    void FormCreate();

    // One announcing check against the maker's host (nothing when the check is turned off).
    void btn_UpdateClick();
    void Button2Click();
    void btn_ExitClick();
    void Button1Click();

    void WebUpdateBeforeGetInfo(TWebUpdate& Sender);
    void WebUpdateDownload(TWebUpdate& Sender, int32_t Total, int32_t Downloaded);
    void WebUpdateDownloadError(TWebUpdate& Sender);
    void WebUpdateAfterGetInfo(TWebUpdate& Sender);
    void WebUpdateNoUpdateFound(TWebUpdate& Sender);
    void WebUpdateUpdateAvailable(TWebUpdate& Sender, const std::string& ActualVersion, const std::string& NewVersion,
                                  bool& CanUpdate);
    void WebUpdateBeforeShowInfo(TWebUpdate& Sender, bool& ShowInfo, bool& CheckForUpdate);
    void WebUpdateGetClientFileName(TWebUpdate& Sender, std::string& FileName);
    void WebUpdateClientFileExists(TWebUpdate& Sender, std::string& FileName, bool& Overwrite);
    void WebUpdateBeforeDownload(TWebUpdate& Sender, const std::string& FileName);
    void WebUpdateAfterDownload(TWebUpdate& Sender, const std::string& FileName);

    // Set only by "&Aggiorna": the answer to whether a newer version may be downloaded.
    bool UpdateRequested = false;

    QGroupBox* grp_ComponentUpdate;
    QLabel* lbl_ProductName;
    QLabel* lbl_Author;
    QLabel* lbl_Email;
    QLabel* lbl_File;
    QGroupBox* GroupBox1;
    QLabel* lbl_WebVersion;
    QLabel* lbl_YourVersion;
    QLabel* lbl_comment;
    QProgressBar* ProgressBar;
    QLabel* Label9;
    QPushButton* btn_Update;
    QPushButton* Button2;
    QPushButton* btn_Exit;
    QPushButton* Button1;

    TWebUpdate WebUpdate;
    TTrayPopUp* traypopup;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

extern Tform_checkupdate_interno* form_checkupdate_interno;
