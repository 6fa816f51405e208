#include "update/frm_show_info_update.h"

#include "ui/form_style.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

Tfrm_ShowInfoUpdate::Tfrm_ShowInfoUpdate()
{
    setObjectName(QStringLiteral("frm_ShowInfoUpdate"));
    setWindowTitle(QStringLiteral("Web Update"));
    // Sizeable, with a caption but no caption buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFont(FormFont());
    resize(530, 453);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* browserPanel = new QFrame(this);
    browserPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* browserLayout = new QVBoxLayout(browserPanel);
    browserLayout->setContentsMargins(1, 1, 1, 1);
    WebBrowser = new QTextBrowser(browserPanel);
    WebBrowser->setOpenLinks(false);
    browserLayout->addWidget(WebBrowser);
    layout->addWidget(browserPanel, 1);

    auto* checkPanel = new QFrame(this);
    checkPanel->setFixedHeight(31);
    chk_FutureUpdate = new QCheckBox(checkPanel);
    chk_FutureUpdate->setObjectName(QStringLiteral("chk_FutureUpdate"));
    chk_FutureUpdate->setGeometry(8, 7, 497, 17);
    chk_FutureUpdate->setChecked(true);
    layout->addWidget(checkPanel);

    pnlButtons = new QFrame(this);
    pnlButtons->setFixedHeight(41);
    btn_OK = new QPushButton(pnlButtons);
    btn_OK->setObjectName(QStringLiteral("btn_OK"));
    btn_Cancel = new QPushButton(pnlButtons);
    btn_Cancel->setObjectName(QStringLiteral("btn_Cancel"));
    for (QPushButton* button : {btn_OK, btn_Cancel}) {
        button->setGeometry(0, 10, 75, 25);
        button->setCursor(Qt::PointingHandCursor);
    }
    btn_OK->setDefault(true);
    connect(btn_OK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);
    pnlButtons->installEventFilter(this);
    layout->addWidget(pnlButtons);
}

bool Tfrm_ShowInfoUpdate::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == pnlButtons && event->type() == QEvent::Resize)
        pnlButtonsResize();
    return QDialog::eventFilter(watched, event);
}

void Tfrm_ShowInfoUpdate::pnlButtonsResize()
{
    const int left = (pnlButtons->width() - (btn_OK->width() + btn_Cancel->width() + 6)) / 2;
    btn_OK->move(left, btn_OK->y());
    btn_Cancel->move(left + btn_OK->width() + 3, btn_Cancel->y());
}

bool Tfrm_ShowInfoUpdate::Execute(const TInfoCaption& captions, const std::string& url,
                                  const std::vector<std::string>& page, bool& checkForUpdate)
{
    chk_FutureUpdate->setChecked(checkForUpdate);
    btn_OK->setText(QString::fromStdString(captions.OkButton));
    btn_Cancel->setText(QString::fromStdString(captions.CancelButton));
    chk_FutureUpdate->setText(QString::fromStdString(captions.CheckForUpdate));
    // The page at `url` is the one just read: it is shown from those lines rather than fetched again.
    std::string html;
    for (const std::string& line : page)
        html += line + '\n';
    WebBrowser->setHtml(QString::fromUtf8(html));
    WebBrowser->document()->setBaseUrl(QUrl(QString::fromStdString(url)));
    if (const QScreen* screen = this->screen())
        move(screen->geometry().center() - rect().center());
    const bool ok = exec() == QDialog::Accepted;
    checkForUpdate = chk_FutureUpdate->isChecked();
    return ok;
}
