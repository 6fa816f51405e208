#include "ui/tray_icon.h"

#include "ui/image_list.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>
#include <QWidget>

namespace {

// A StatusNotifierItem host draws an icon's menu itself and asks the program for nothing on a right click
// (some show a menu of their own instead). The toolkit registers its icons there whenever such a host is
// on the session bus when the first icon is made, and as an XEmbed window otherwise.
bool statusNotifierHostRegistered()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusInterface watcher(QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
                           QStringLiteral("org.kde.StatusNotifierWatcher"), bus);
    // A hung watcher must not hold up the start for long.
    watcher.setTimeout(500);
    return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
}

// The same commands in a plain menu, for a notification area that draws menus itself: the actions are
// shared, so states and commands stay those of the program's menu.
void copyCommands(const QMenu& from, QMenu& to)
{
    for (QAction* action : from.actions()) {
        if (const QMenu* submenu = action->menu()) {
            QMenu* copy = to.addMenu(submenu->title());
            copy->menuAction()->setVisible(action->isVisible());
            copyCommands(*submenu, *copy);
        } else {
            to.addAction(action);
        }
    }
}

} // namespace

TTrayIcon::TTrayIcon(QWidget* mainWindow)
    : QObject(mainWindow)
    , m_mainWindow(mainWindow)
    , m_trayDrawsMenus(statusNotifierHostRegistered())
    , m_icon(std::make_unique<QSystemTrayIcon>())
    , m_trayWatch(new QTimer(this))
{
    // Where the program opens the menu, a right click comes here and opens ours, with its banner.
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, &TTrayIcon::activated);
    if (mainWindow)
        mainWindow->installEventFilter(this);
    m_trayWatch->setInterval(1000);
    connect(m_trayWatch, &QTimer::timeout, this, &TTrayIcon::watchTheTray);
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

void TTrayIcon::SetPopupMenu(QMenu* menu)
{
    m_popupMenu = menu;
    if (!m_trayDrawsMenus)
        return;
    m_icon->setContextMenu(nullptr);
    m_trayMenu.reset();
    if (!menu)
        return;
    m_trayMenu = std::make_unique<QMenu>();
    copyCommands(*menu, *m_trayMenu);
    m_icon->setContextMenu(m_trayMenu.get());
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
    // Left, middle and double clicks do nothing; where the tray draws the menu, it has done so.
    if (reason != QSystemTrayIcon::Context || !m_popupMenu || m_icon->contextMenu())
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
    // Hidden, by the menu or to the notification area, the window is reached through the icon alone.
    if (event->type() == QEvent::Hide && m_active && !m_trayWatch->isActive())
        m_trayWatch->start();
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

void TTrayIcon::watchTheTray()
{
    // Asked each time: a panel may stop or start at any moment.
    if (!m_mainWindow || m_mainWindow->isVisible())
        m_trayWatch->stop();
    else if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        m_trayWatch->stop();
        m_mainWindow->show();
    }
}
