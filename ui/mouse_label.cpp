#include "ui/mouse_label.h"

#include <QMouseEvent>

TMouseLabel::TMouseLabel(QWidget* parent)
    : QLabel(parent)
{ }

void TMouseLabel::enterEvent(QEnterEvent* event)
{
    QLabel::enterEvent(event);
    if (OnMouseEnter)
        OnMouseEnter();
}

void TMouseLabel::leaveEvent(QEvent* event)
{
    QLabel::leaveEvent(event);
    if (OnMouseLeave)
        OnMouseLeave();
}

void TMouseLabel::mousePressEvent(QMouseEvent* event)
{
    event->setAccepted(static_cast<bool>(OnMouseUp));
}

void TMouseLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (!OnMouseUp) {
        event->ignore();
        return;
    }
    event->accept();
    OnMouseUp(event->button(), rect().contains(event->position().toPoint()));
}
