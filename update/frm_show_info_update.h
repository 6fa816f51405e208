// The update component's information window: the update page, a check box and OK / Cancel.
#pragma once

#include "update/web_update.h"

#include <QDialog>

class QCheckBox;
class QFrame;
class QPushButton;
class QTextBrowser;

class Tfrm_ShowInfoUpdate final : public QDialog, public IUpdateInfoWindow
{
public:
    Tfrm_ShowInfoUpdate();

    bool Execute(const TInfoCaption& captions, const std::string& url, const std::vector<std::string>& page,
                 bool& checkForUpdate) override;

    QTextBrowser* WebBrowser;
    QCheckBox* chk_FutureUpdate;
    QFrame* pnlButtons;
    QPushButton* btn_OK;
    QPushButton* btn_Cancel;

    // Keeps the two buttons centred in their panel.
    void pnlButtonsResize();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
