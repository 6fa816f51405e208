// The program's icon in the desktop's notification area, with the main menu on a right click.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

#include <memory>

class QMenu;
class QTimer;
class QWidget;
class TImageList;

enum class TTrayVisibility {
    tvVisibleTaskBar = 1,
    tvVisibleTaskList = 2,
    tvAutoHide = 4,
};

class TTrayIcon final : public QObject
{
    Q_OBJECT

public:
    // Lives as long as `mainWindow`, whose minimising and hiding it watches: hidden, the window is reached
    // through the icon alone, so it is shown again when the notification area goes away. Nothing is shown
    // until the icon is made active.
    explicit TTrayIcon(QWidget* mainWindow);
    ~TTrayIcon() override;

    bool Active() const { return m_active; }
    // Adds the icon to the notification area, or removes it. Without a notification area the icon waits
    // and appears once one starts; a notification area that restarts gets it back.
    void SetActive(bool active);

    void SetIcons(const TImageList* icons, int iconIndex);
    void SetIcon(const QIcon& icon);
    // The tooltip is the text before the first "|", at most 127 characters.
    void SetHint(const QString& hint);
    const QString& Hint() const { return m_hint; }
    static QString ShortHint(const QString& hint);

    // Opened at the pointer by a right click on the icon. A notification area that draws menus itself is
    // handed the same commands instead, without the menu's own drawing.
    void SetPopupMenu(QMenu* menu);
    QMenu* PopupMenu() const { return m_popupMenu; }

    // Which of TTrayVisibility apply; the program keeps the default, all three.
    int Visibility = int(TTrayVisibility::tvVisibleTaskBar) | int(TTrayVisibility::tvVisibleTaskList)
        | int(TTrayVisibility::tvAutoHide);

    // The icon as the platform shows it, for tests.
    QSystemTrayIcon& Platform() { return *m_icon; }
    const QIcon& CurrentIcon() const { return m_current; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseIcon();
    void activated(QSystemTrayIcon::ActivationReason reason);
    void watchTheTray();

    QPointer<QWidget> m_mainWindow;
    // Whether the notification area draws the icon's menu itself (a StatusNotifierItem host on the session
    // bus) rather than leaving a right click to the program. Asked before the icon is made: the platform
    // picks how it shows the icon from the same question then.
    bool m_trayDrawsMenus;
    // Made before the icon and gone after it: the platform's icon holds on to the menu it was handed.
    std::unique_ptr<QMenu> m_trayMenu;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    QTimer* m_trayWatch;
    const TImageList* m_icons = nullptr;
    int m_iconIndex = 0;
    QIcon m_fallback;
    QIcon m_current;
    QString m_hint;
    QPointer<QMenu> m_popupMenu;
    bool m_active = false;
    bool m_hiddenToTray = false;
};
