#include "ui/tool_window.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

namespace {

// X11 has no window for a window group; transient for the root window means transient for the group
// (the desktop window-manager conventions). Kept as a child of `anchor`, so it goes with the program's
// windows, before the window system does.
QWindow* groupOwner(QWidget* anchor)
{
    // Other platforms may answer for X11 without a connection of their own (offscreen does).
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection() || QGuiApplication::platformName() != QLatin1String("xcb") || !anchor)
        return nullptr;
    const QString name = QStringLiteral("windowGroupOwner");
    if (auto* existing = anchor->findChild<QWindow*>(name, Qt::FindDirectChildrenOnly))
        return existing;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x11->connection())).data;
    if (!screen)
        return nullptr;
    QWindow* root = QWindow::fromWinId(screen->root);
    root->setObjectName(name);
    static_cast<QObject*>(root)->setParent(anchor);
    return root;
}

} // namespace

void MakeToolWindow(QWidget* window)
{
    window->setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

void KeepAboveTheProgram(QWidget* window, QWidget* anchor)
{
    QWindow* owner = groupOwner(anchor);
    if (!owner && anchor)
        owner = anchor->windowHandle();
    if (!owner)
        return;
    window->winId();
    window->windowHandle()->setTransientParent(owner);
}

void ShowToolWindow(QWidget* window, QWidget* anchor, QWidget* firstField)
{
    KeepAboveTheProgram(window, anchor);
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
    if (!firstField)
        return;
    firstField->setFocus(Qt::ActiveWindowFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(firstField)) {
        // Selected backwards, so the cursor and the view stay at the start of a long text.
        const int length = static_cast<int>(edit->text().size());
        edit->setSelection(length, -length);
    }
}
