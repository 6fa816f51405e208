#include "app/form_storage_qt.h"

#include "app/application.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

TWidgetPlacementTarget::TWidgetPlacementTarget(QWidget* window)
    : m_window(window)
{
    window->installEventFilter(this);
}

std::string TWidgetPlacementTarget::name() const
{
    return m_window ? m_window->objectName().toStdString() : std::string();
}

bool TWidgetPlacementTarget::hasHandle() const
{
    return m_window && m_window->windowHandle();
}

TWindowPlacement TWidgetPlacementTarget::placement() const
{
    TWindowPlacement placement;
    if (!m_window)
        return placement;
    // A hidden window reports the state it would show in, so it is saved, and comes back, as a normal one.
    const Qt::WindowStates state = m_window->windowState();
    if (state & Qt::WindowMinimized)
        placement.showCmd = TWindowPlacement::ShowMinimized;
    else if (state & Qt::WindowMaximized)
        placement.showCmd = TWindowPlacement::ShowMaximized;
    else
        placement.showCmd = TWindowPlacement::ShowNormal;
    // X11 has no flags of this kind, and it does not report where a window goes when minimised or maximised
    // (the window manager decides): those positions are stored as -1.
    placement.flags = 0;
    placement.minPosition = {-1, -1};
    placement.maxPosition = {-1, -1};
    // The frame's rectangle; the gadget is borderless, so frame and client are one.
    QRect normal = m_window->frameGeometry();
    if ((state & (Qt::WindowMaximized | Qt::WindowFullScreen)) && m_window->normalGeometry().isValid())
        normal = m_window->normalGeometry();
    placement.normalPosition
        = {normal.left(), normal.top(), normal.left() + normal.width(), normal.top() + normal.height()};
    return placement;
}

void TWidgetPlacementTarget::setPlacement(const TWindowPlacement& placement)
{
    // Only the position: the window has a fixed size, and the window system places minimised and maximised
    // windows itself. No clamping onto the screen either; dragging does that.
    if (m_window)
        m_window->move(placement.normalPosition.left, placement.normalPosition.top);
}

TPlacementSize TWidgetPlacementTarget::size() const
{
    if (!m_window)
        return {};
    const QRect frame = m_window->frameGeometry();
    return {frame.width(), frame.height()};
}

TPlacementRect TWidgetPlacementTarget::grip() const
{
    if (m_grip.isNull())
        return IPlacementTarget::grip();
    return {m_grip.left(), m_grip.top(), m_grip.left() + m_grip.width(), m_grip.top() + m_grip.height()};
}

void TWidgetPlacementTarget::keepDesignedPosition()
{
    // A position the program set itself is passed on to the window manager as one to keep.
    if (m_window)
        m_window->setAttribute(Qt::WA_Moved);
}

bool TWidgetPlacementTarget::isApplicationMinimized() const
{
    // The window is the program's one taskbar entry: minimising the program is minimising it.
    return m_window && m_window->isMinimized();
}

void TWidgetPlacementTarget::minimizeApplication()
{
    if (!m_window)
        return;
    // Posted: a window is minimised once it is mapped, after the show that restored it has finished.
    QPointer<QWidget> window = m_window;
    QMetaObject::invokeMethod(
        window.data(),
        [window] {
            if (window)
                window->showMinimized();
        },
        Qt::QueuedConnection);
}

void TWidgetPlacementTarget::setWindowState(TPlacementWindowState state)
{
    if (!m_window)
        return;
    Qt::WindowStates states
        = m_window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
    if (state == TPlacementWindowState::Minimized)
        states |= Qt::WindowMinimized;
    else if (state == TPlacementWindowState::Maximized)
        states |= Qt::WindowMaximized;
    m_window->setWindowState(states);
}

TPlacementSize TWidgetPlacementTarget::screenSize() const
{
    // Qt's logical pixels: the device's own unless Qt scales the desktop, and the unit of every position
    // stored beside them.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QSize size = screen->geometry().size();
    return {size.width(), size.height()};
}

std::vector<TPlacementRect> TWidgetPlacementTarget::screenRects() const
{
    std::vector<TPlacementRect> rects;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->geometry();
        rects.push_back({area.left(), area.top(), area.left() + area.width(), area.top() + area.height()});
    }
    return rects;
}

int32_t TWidgetPlacementTarget::pixelsPerInch() const
{
    // The logical resolution, 96 on a screen Qt does not scale.
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? qRound(screen->logicalDotsPerInch()) : 96;
}

void TWidgetPlacementTarget::reportError(const std::exception& error)
{
    ReportException(error);
}

void TWidgetPlacementTarget::BeforeShow()
{
    m_shownAhead = true;
    if (OnShow)
        OnShow();
}

bool TWidgetPlacementTarget::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_window || watched != m_window.data())
        return false;
    switch (event->type()) {
    case QEvent::Show:
        // The window system's own shows (a window coming back from the taskbar) are not the program's.
        if (event->spontaneous())
            return false;
        if (m_shownAhead)
            m_shownAhead = false;
        else if (OnShow)
            OnShow();
        if (OnPlacementChanged)
            OnPlacementChanged();
        return false;
    case QEvent::Move:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
        if (OnPlacementChanged)
            OnPlacementChanged();
        return false;
    case QEvent::Close: {
        // The window's handler decides first; the event is then consumed so the handler does not run twice.
        QPointer<QWidget> window = m_window;
        static_cast<QObject*>(window.data())->event(event);
        if (window && event->isAccepted() && OnCloseAccepted)
            OnCloseAccepted();
        return true;
    }
    default:
        return false;
    }
}
