#include "ui/tool_window.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace {

xcb_connection_t* x11Connection()
{
    // Other platforms may answer for X11 without a connection of their own (offscreen does).
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    return x11->connection();
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::char_traits<char>::length(name)), name),
        nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t {XCB_ATOM_NONE};
    std::free(reply);
    return found;
}

// Asks for no taskbar and no pager entry on a window that is not mapped: the toolkit adds its own states to
// the ones it finds there when it maps the window, and the window manager reads them all then.
void skipTaskbar(QWidget* window)
{
    xcb_connection_t* connection = x11Connection();
    if (!connection || window->isVisible())
        return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t state = atom(connection, "_NET_WM_STATE");
    std::vector<xcb_atom_t> states;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* existing = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        states.assign(existing, existing + xcb_get_property_value_length(reply) / sizeof(xcb_atom_t));
    }
    std::free(reply);
    for (const char* name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        const xcb_atom_t wanted = atom(connection, name);
        if (wanted != XCB_ATOM_NONE && std::find(states.begin(), states.end(), wanted) == states.end())
            states.push_back(wanted);
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(states.size()), states.data());
    xcb_flush(connection);
}

// X11 has no window for a window group; transient for the root window means transient for the group
// (the desktop window-manager conventions). Kept as a child of `anchor`, so it goes with the program's
// windows, before the window system does.
QWindow* groupOwner(QWidget* anchor)
{
    xcb_connection_t* connection = x11Connection();
    if (!connection || !anchor)
        return nullptr;
    const QString name = QStringLiteral("windowGroupOwner");
    if (auto* existing = anchor->findChild<QWindow*>(name, Qt::FindDirectChildrenOnly))
        return existing;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
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
    window->setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                           | Qt::WindowStaysOnTopHint);
}

void KeepAboveTheProgram(QWidget* window, QWidget* anchor)
{
    // Changing the flags of a shown window would hide it; one already shown has its layer.
    if (!window->isVisible() && !(window->windowFlags() & Qt::WindowStaysOnTopHint))
        window->setWindowFlag(Qt::WindowStaysOnTopHint);
    skipTaskbar(window);
    // A window of a dialog (its message box) stays the transient of that dialog.
    if (window->parentWidget())
        return;
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
