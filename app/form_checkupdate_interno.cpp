#include "app/form_checkupdate_interno.h"

#include "app/chrome_look.h"
#include "app/form1.h"
#include "app/form_file_version.h"
#include "platform/program_folder.h"
#include "platform/shell_open.h"
#include "platform/version_block.h"
#include "ui/form_style.h"
#include "ui/message_box.h"
#include "ui/tray_popup.h"

#include <QApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

Tform_checkupdate_interno* form_checkupdate_interno = nullptr;

std::string UpdatePageUrl(const std::string& host)
{
    return "http://" + host + "/downloads/vanta/updates/corvane.html";
}

namespace {

// The notices' lines end in CR LF, as every notice's do.
QString noNewsText()
{
    return Tform_checkupdate_interno::tr(
        "Controllo aggiornamenti, al momento non ci sono novit\u00e0.\r\nMaggiori info sul sito");
}

QString newVersionText()
{
    return Tform_checkupdate_interno::tr(
        "E' uscita una nuova versione di \r\nCorvane\r\nClicca qui per visitare la pagina web");
}

QString text(const std::string& value)
{
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

std::string fileNamePart(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A caption on the left and the bold value label it introduces.
QLabel* captionedValue(QWidget* parent, const QString& caption, int top, int valueLeft)
{
    auto* label = new QLabel(caption, parent);
    label->move(8, top);
    label->adjustSize();
    auto* value = new QLabel(QStringLiteral("-"), parent);
    QFont bold = value->font();
    bold.setBold(true);
    value->setFont(bold);
    value->setGeometry(valueLeft, top, 290 - valueLeft, 13);
    return value;
}

} // namespace

Tform_checkupdate_interno::Tform_checkupdate_interno()
{
    setObjectName(QStringLiteral("form_checkupdate_interno"));
    setWindowTitle(QStringLiteral("Orlo LiveUpdate"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(FormFont());
    // 317 by 245 with the frame around it.
    setFixedSize(309, 218);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    grp_ComponentUpdate = new QGroupBox(this);
    grp_ComponentUpdate->setGeometry(4, 0, 301, 100);
    grp_ComponentUpdate->setAutoFillBackground(true);
    QPalette white = grp_ComponentUpdate->palette();
    white.setColor(QPalette::Window, Qt::white);
    grp_ComponentUpdate->setPalette(white);
    lbl_ProductName = captionedValue(grp_ComponentUpdate, tr("Prodotto:"), 12, 64);
    lbl_Author = captionedValue(grp_ComponentUpdate, tr("Autore:"), 28, 64);
    lbl_Email = captionedValue(grp_ComponentUpdate, tr("E-mail:"), 44, 64);
    lbl_File = captionedValue(grp_ComponentUpdate, tr("File: "), 60, 64);
    auto* download = new QLabel(tr("Download"), grp_ComponentUpdate);
    download->move(8, 78);
    ProgressBar = new QProgressBar(grp_ComponentUpdate);
    ProgressBar->setGeometry(64, 78, 160, 13);
    ProgressBar->setTextVisible(false);
    ProgressBar->setValue(0);
    Label9 = new QLabel(QStringLiteral("0"), grp_ComponentUpdate);
    Label9->setGeometry(228, 78, 65, 13);
    Label9->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    GroupBox1 = new QGroupBox(tr("Versione"), this);
    GroupBox1->setGeometry(4, 104, 301, 72);
    lbl_WebVersion = captionedValue(GroupBox1, tr("Disponibile:"), 18, 72);
    lbl_YourVersion = captionedValue(GroupBox1, tr("In uso:"), 34, 72);
    lbl_comment = captionedValue(GroupBox1, tr("Commento"), 50, 72);

    btn_Update = new QPushButton(tr("&Controlla"), this);
    btn_Update->setGeometry(117, 184, 75, 25);
    connect(btn_Update, &QPushButton::clicked, this, [this] { btn_UpdateClick(); });
    Button2 = new QPushButton(tr("&Aggiorna"), this);
    Button2->setGeometry(200, 184, 75, 25);
    QFont bold = Button2->font();
    bold.setBold(true);
    Button2->setFont(bold);
    QPalette green = Button2->palette();
    green.setColor(QPalette::ButtonText, QColor(0, 128, 0));
    Button2->setPalette(green);
    Button2->hide();
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    btn_Exit = new QPushButton(tr("&Annulla"), this);
    btn_Exit->setGeometry(229, 184, 75, 25);
    btn_Exit->hide();
    connect(btn_Exit, &QPushButton::clicked, this, [this] { btn_ExitClick(); });
    Button1 = new QPushButton(QStringLiteral("Button1"), this);
    Button1->setGeometry(8, 184, 75, 25);
    Button1->hide();
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    WebUpdate.ProductInfo.Version = "0.0.0.0";
    WebUpdate.Options = {};
    WebUpdate.InfoCaption
        = {tr("&OK").toStdString(), tr("&Annulla").toStdString(), tr("Controlla aggiornamenti futuri").toStdString()};
    WebUpdate.OnBeforeGetInfo = [this](TWebUpdate& s) { WebUpdateBeforeGetInfo(s); };
    WebUpdate.OnDownload = [this](TWebUpdate& s, int32_t t, int32_t d) { WebUpdateDownload(s, t, d); };
    WebUpdate.OnDownloadError = [this](TWebUpdate& s) { WebUpdateDownloadError(s); };
    WebUpdate.OnAfterGetInfo = [this](TWebUpdate& s) { WebUpdateAfterGetInfo(s); };
    WebUpdate.OnNoUpdateFound = [this](TWebUpdate& s) { WebUpdateNoUpdateFound(s); };
    WebUpdate.OnUpdateAvailable = [this](TWebUpdate& s, const std::string& a, const std::string& n, bool& can) {
        WebUpdateUpdateAvailable(s, a, n, can);
    };
    WebUpdate.OnBeforeShowInfo
        = [this](TWebUpdate& s, bool& show, bool& check) { WebUpdateBeforeShowInfo(s, show, check); };
    WebUpdate.OnGetClientFileName = [this](TWebUpdate& s, std::string& f) { WebUpdateGetClientFileName(s, f); };
    WebUpdate.OnClientFileExists
        = [this](TWebUpdate& s, std::string& f, bool& o) { WebUpdateClientFileExists(s, f, o); };
    WebUpdate.OnBeforeDownload = [this](TWebUpdate& s, const std::string& f) { WebUpdateBeforeDownload(s, f); };
    WebUpdate.OnAfterDownload = [this](TWebUpdate& s, const std::string& f) { WebUpdateAfterDownload(s, f); };

    traypopup = new TTrayPopUp(*this);
    SetUpProgramNotice(*traypopup);
    traypopup->Text = newVersionText();
    traypopup->URL = QString::fromStdString(ProductPageUrl());

    // Closing the gadget ends the program; a check it would wait for is stopped rather than sat out.
    if (Form1)
        Form1->installEventFilter(this);
}

Tform_checkupdate_interno::~Tform_checkupdate_interno() = default;

bool Tform_checkupdate_interno::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Form1 && event->type() == QEvent::Close)
        WebUpdate.CancelTransfer();
    return QWidget::eventFilter(watched, event);
}

void Tform_checkupdate_interno::FormCreate()
{
    UpdateRequested = false;
    btn_UpdateClick();
}

void Tform_checkupdate_interno::btn_UpdateClick()
{
    const std::optional<std::string> host = UpdateHost();
    if (!host)
        return;
    if (Form_FileVersion) {
        Form_FileVersion->Button1Click();
        WebUpdate.ProductInfo.Version = Form_FileVersion->lblfileversion->text().toStdString();
    } else {
        WebUpdate.ProductInfo.Version = ProgramVersionText();
    }
    WebUpdate.ProductInfo.SetURL(UpdatePageUrl(*host));
    WebUpdate.CheckAndUpdate();
}

void Tform_checkupdate_interno::Button2Click()
{
    UpdateRequested = true;
    WebUpdate.CheckAndUpdate();
}

void Tform_checkupdate_interno::btn_ExitClick()
{
    close();
}

void Tform_checkupdate_interno::Button1Click()
{
    if (!Form_FileVersion)
        return;
    Form_FileVersion->Button1Click();
    lbl_YourVersion->setText(Form_FileVersion->lblfileversion->text());
}

void Tform_checkupdate_interno::WebUpdateBeforeGetInfo(TWebUpdate&) { }

void Tform_checkupdate_interno::WebUpdateDownload(TWebUpdate&, int32_t Total, int32_t Downloaded)
{
    ProgressBar->setMaximum(Total);
    ProgressBar->setValue(Downloaded);
    Label9->setText(QString::number(Downloaded) + QLatin1Char('/') + QString::number(Total));
    QCoreApplication::processEvents();
}

void Tform_checkupdate_interno::WebUpdateDownloadError(TWebUpdate&) { }

void Tform_checkupdate_interno::WebUpdateAfterGetInfo(TWebUpdate& Sender)
{
    lbl_ProductName->setText(text(Sender.Info().ProductName));
    lbl_File->setText(text(Sender.Info().ClientFileName));
    lbl_Author->setText(text(Sender.Info().Author));
    lbl_Email->setText(text(Sender.Info().Email));
    lbl_YourVersion->setText(text(Sender.ProductInfo.Version));
    lbl_WebVersion->setText(text(Sender.Info().Version));
}

void Tform_checkupdate_interno::WebUpdateNoUpdateFound(TWebUpdate&)
{
    traypopup->Text = noNewsText();
    traypopup->ShowPopUp();
}

void Tform_checkupdate_interno::WebUpdateUpdateAvailable(TWebUpdate&, const std::string&, const std::string& NewVersion,
                                                         bool& CanUpdate)
{
    lbl_WebVersion->setText(text(NewVersion));
    CanUpdate = UpdateRequested;
    btn_Update->hide();
    Button2->move(btn_Update->x(), Button2->y());
    Button2->show();
    Label9->setText(QStringLiteral("0"));
    ProgressBar->setValue(0);
    traypopup->Text = newVersionText();
    traypopup->ShowPopUp();
}

void Tform_checkupdate_interno::WebUpdateBeforeShowInfo(TWebUpdate&, bool& ShowInfo, bool&)
{
    ShowInfo = false;
}

void Tform_checkupdate_interno::WebUpdateGetClientFileName(TWebUpdate&, std::string& FileName)
{
    FileName = ProgramFolder() + "temp/" + fileNamePart(FileName);
}

void Tform_checkupdate_interno::WebUpdateClientFileExists(TWebUpdate&, std::string&, bool& Overwrite)
{
    Overwrite = true;
}

void Tform_checkupdate_interno::WebUpdateBeforeDownload(TWebUpdate&, const std::string& FileName)
{
    lbl_File->setText(tr("Download file %1").arg(text(fileNamePart(FileName))));
}

void Tform_checkupdate_interno::WebUpdateAfterDownload(TWebUpdate&, const std::string& FileName)
{
    ShellOpener().Open(FileName);
    MessageBox::ShowInformation(nullptr, tr("Avvio fase di installazione/aggiornamento..."));
    btn_ExitClick();
}
