#include "app/alert_notices.h"

#include "app/alert_texts.h"
#include "app/byte_text.h"
#include "app/chrome_look.h"
#include "ui/tray_popup.h"

#include <QFontMetrics>

#include <algorithm>

namespace {

// The text is centred on the notice: this much above it (and so below it) keeps it clear of the icon.
constexpr int IconRoom = 58;
constexpr int MaxHeight = 400;

} // namespace

TAlertNotices::TAlertNotices(QWidget& owner)
    : m_popUp(new TTrayPopUp(owner))
{
    SetUpProgramNotice(*m_popUp);
    // Nothing to open: a click on the text or anywhere else brings the gadget.
    m_popUp->Options = TTrayPopupOptions(tpCascadePopups) | tpAllowScroll;
    m_popUp->OnClick = [this](QObject&) {
        if (OnClick)
            OnClick();
    };
}

void TAlertNotices::StackWith(const TTrayPopUp& other)
{
    m_popUp->ShareStack(other);
}

void TAlertNotices::ShowChanges(const std::vector<TStateChange>& changes)
{
    if (!changes.empty())
        show(AlertNoticeText(changes));
}

void TAlertNotices::ShowMailFailure(const std::string& reason)
{
    show(MailFailureNoticeText(reason));
}

void TAlertNotices::show(const std::string& text)
{
    TTrayPopUp& popUp = *m_popUp;
    popUp.Text = TextFromBytes(text);
    // A list of changes, or long names, needs more than the usual height to stay clear of the icon.
    QString shown = popUp.Text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const int textHeight = QFontMetrics(popUp.Font.Font)
                               .boundingRect(QRect(0, 0, popUp.Width - 15, MaxHeight), Qt::TextWordWrap, shown)
                               .height();
    popUp.Height = std::clamp(textHeight + 2 * IconRoom, 121, MaxHeight);
    popUp.ShowPopUp();
}
