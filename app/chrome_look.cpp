#include "app/chrome_look.h"

#include "ui/about_dlg.h"
#include "ui/bar_popup_menu.h"
#include "ui/form_style.h"
#include "ui/keyed_picture.h"
#include "ui/tray_popup.h"

#include <QApplication>
#include <QUrl>

#include <map>

void SetUpProgramBanner(TCustomBarPopupMenu& menu)
{
    TBar& bar = menu.Bar();
    bar.Side = TBarSide::sRight;
    bar.Width = 32;
    bar.Space = 1;
    bar.GradientStart = QColor(0x00, 0x00, 0x80);
    bar.GradientEnd = QColor(0xF0, 0xCA, 0xA6);
    bar.GradientStyle = TGradientStyle::gsVertical;
    // The emblem on the key colour, which is left out when drawn. Rendered once per screen scale: the banner
    // is painted again whenever an item changes, as the run command does at every cycle.
    bar.BarPicture.Picture = [rendered = std::map<int, QImage>()](qreal ratio) mutable {
        QImage& picture = rendered[qRound(ratio * 100)];
        if (picture.isNull())
            picture = RenderKeyedPicture(QStringLiteral(":/status-emblem.svg"), QSize(16, 16), ratio);
        return picture;
    };
    // Tahoma is seldom installed on Linux; fontconfig then substitutes the closest sans face it has,
    // DejaVu Sans on Debian, a humanist face of about Tahoma's width. The size stays 19 pixels.
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(19);
    font.setBold(true);
    font.setItalic(true);
    bar.BarCaption.Font = font;
    bar.BarCaption.Color = Qt::white;
    bar.BarCaption.Caption = QStringLiteral("Corvane");
    bar.BarCaption.Direction = TDirection::dDownToUp;
    bar.BarCaption.Alignment = TVertAlignment::vaBottom;
    bar.BarCaption.OffsetY = 6;
    menu.MenuStyle = TMenuStyle::msAuto;
}

void SetUpProgramNotice(TTrayPopUp& notice)
{
    notice.Title = QStringLiteral("Corvane");
    notice.IconBitmap = RenderKeyedPicture(QStringLiteral(":/corvane.svg"), QSize(48, 48), 1.0)
                            .convertToFormat(QImage::Format_RGB888);
    notice.Width = 200;
    notice.Height = 121;
    notice.GradientColor1 = Qt::white;
    notice.GradientColor2 = QColor(255, 128, 0);
    QFont body = FormFont();
    body.setPixelSize(11);
    notice.Font = {body, Qt::black};
    QFont hover = body;
    hover.setUnderline(true);
    notice.HoverFont = {hover, Qt::red};
    QFont title = body;
    title.setPixelSize(13);
    title.setBold(true);
    notice.TitleFont = {title, QApplication::palette().color(QPalette::WindowText)};
}

QString AboutVersionText()
{
    return QStringLiteral("1.0.0.0 RC");
}

void SetUpAboutBox(TAboutDlg& about, const QString& productPage)
{
    const QUrl page(productPage);
    about.Appname = QStringLiteral("Corvane");
    about.AppNameSize = 18;
    about.Version = AboutVersionText();
    about.Description = QStringLiteral("Net Device Monitor");
    about.Copyright = QStringLiteral("Copyright \u00a9 the Corvane developers");
    about.Jump = page.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment).toString();
    about.EMail = QStringLiteral("info@") + page.host();
    about.CaptionTitle = QCoreApplication::translate("ChromeLook", "Info su Corvane");
    about.CustomButton = QCoreApplication::translate("ChromeLook", "Visita il sito");
    about.Effect = TDialogEffect::deExplodeExt;
}
