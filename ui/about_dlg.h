// The about box: what the program is, its version, its maker and what the machine it runs on offers.
#pragma once

#include "platform/system_info.h"

#include <QString>

#include <functional>
#include <memory>

class QDialog;
class QWidget;

enum class TDialogEffect { deNone, deExplodeExt };

class TAboutDlg final
{
public:
    QString Appname;
    int AppNameSize = 18; // points
    QString Version;
    QString Description;
    QString Copyright;
    QString Jump; // the maker's web site
    QString EMail; // the maker's address
    QString CaptionTitle;
    // The extra button is there only with a caption.
    QString CustomButton;
    std::function<void()> OnCustomClick;
    TDialogEffect Effect = TDialogEffect::deExplodeExt;
    // The box paints its own caption bar with a gradient, in place of the window manager's.
    bool CaptionFill = true;
    // Where the system lines come from; the kernel's files unless a test says otherwise.
    std::function<TSystemInfo()> SystemInfo = [] { return ReadSystemInfo(); };

    // Builds a fresh box, grows an outline from the pointer to it, and shows it modally until it is closed.
    // A second call while the box is open does nothing.
    void Execute(QWidget* parent);

    // The box as Execute shows it, centred on the screen, not yet shown.
    std::unique_ptr<QDialog> CreateDialog(QWidget* parent) const;

private:
    bool m_showing = false;
};
