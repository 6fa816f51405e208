#include "ui/tool_window.h"

#include <QEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

void restore(QWidget* window)
{
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
}

class RestoreFilter final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::WindowStateChange) {
            // Posted: the window manager finishes minimising before it is asked to undo it.
            QPointer<QWidget> window = static_cast<QWidget*>(watched);
            if (window->isMinimized())
                QTimer::singleShot(0, window, [window] { restore(window); });
        }
        return false;
    }
};

} // namespace

void MakeToolWindow(QWidget* window)
{
    window->setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    KeepRestored(window);
}

void KeepRestored(QWidget* window)
{
    window->installEventFilter(new RestoreFilter(window));
}

void ShowToolWindow(QWidget* window, QWidget* owner, QWidget* firstField)
{
    // The gadget stays on top of normal windows; a window manager keeps a window's transients above it.
    if (owner && owner->windowHandle()) {
        window->winId();
        window->windowHandle()->setTransientParent(owner->windowHandle());
    }
    restore(window);
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
