#include "ui/tray_icon.h"

#include "ui/image_list.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QTimer>
#include <QWidget>

TTrayIcon::TTrayIcon(QWidget* mainWindow)
    : QObject(mainWindow)
    , m_mainWindow(mainWindow)
    , m_icon(std::make_unique<QSystemTrayIcon>())
{
    // No context menu is handed to the platform: a notification area that draws menus itself would lose
    // the banner. The right click comes here and opens ours.
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, &TTrayIcon::activated);
    if (mainWindow)
        mainWindow->installEventFilter(this);
}

TTrayIcon::~TTrayIcon()
{
    SetActive(false);
}

QString TTrayIcon::ShortHint(const QString& hint)
{
    return hint.section(QLatin1Char('|'), 0, 0).left(127);
}

void TTrayIcon::SetActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (!active) {
        m_icon->hide();
        return;
    }
    chooseIcon();
    m_icon->setToolTip(ShortHint(m_hint));
    m_icon->show();
}

void TTrayIcon::SetIcons(const TImageList* icons, int iconIndex)
{
    m_icons = icons;
    m_iconIndex = iconIndex;
    chooseIcon();
}

void TTrayIcon::SetIcon(const QIcon& icon)
{
    m_fallback = icon;
    chooseIcon();
}

void TTrayIcon::SetHint(const QString& hint)
{
    m_hint = hint;
    m_icon->setToolTip(ShortHint(hint));
}

void TTrayIcon::chooseIcon()
{
    if (m_icons && m_iconIndex >= 0 && m_iconIndex < m_icons->Count())
        m_current = m_icons->Icon(m_iconIndex);
    else if (!m_fallback.isNull())
        m_current = m_fallback;
    else
        m_current = QApplication::windowIcon();
    m_icon->setIcon(m_current);
}

void TTrayIcon::activated(QSystemTrayIcon::ActivationReason reason)
{
    // Left, middle and double clicks do nothing.
    if (reason != QSystemTrayIcon::Context || !m_popupMenu)
        return;
    m_popupMenu->popup(QCursor::pos());
}

bool TTrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_mainWindow)
        return QObject::eventFilter(watched, event);
    // A minimised program goes to the notification area: the gadget and its taskbar entry disappear, the
    // icon's menu stays. Only where there is a notification area, or nothing would be left to bring it back.
    if (event->type() == QEvent::WindowStateChange && m_active && (Visibility & int(TTrayVisibility::tvAutoHide))
        && m_mainWindow->isMinimized() && QSystemTrayIcon::isSystemTrayAvailable()) {
        QTimer::singleShot(0, this, [this] {
            if (!m_mainWindow || !m_mainWindow->isMinimized())
                return;
            m_mainWindow->hide();
            m_hiddenToTray = true;
        });
    }
    // Shown again from the menu, it comes back as it was before it went, not minimised. The state can only
    // change once it is mapped: leaving the minimised state maps a window, hidden or not.
    if (event->type() == QEvent::Show && m_hiddenToTray) {
        m_hiddenToTray = false;
        QTimer::singleShot(0, this, [this] {
            if (m_mainWindow && m_mainWindow->isVisible() && m_mainWindow->isMinimized())
                m_mainWindow->setWindowState(m_mainWindow->windowState() & ~Qt::WindowMinimized);
        });
    }
    return QObject::eventFilter(watched, event);
}
