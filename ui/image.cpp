#include "ui/image.h"

#include <QMouseEvent>
#include <QPainter>

TImage::TImage(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TImage::SetPicture(QImage picture)
{
    m_picture = std::move(picture);
    update();
}

void TImage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect(), m_picture);
}

void TImage::mousePressEvent(QMouseEvent* event)
{
    // Taking the press keeps the moves coming here while the button is down.
    if (OnMouseDown)
        OnMouseDown(event->button(), event->position().toPoint());
    event->setAccepted(static_cast<bool>(OnMouseDown));
}

void TImage::mouseMoveEvent(QMouseEvent* event)
{
    if (OnMouseMove)
        OnMouseMove(event->position().toPoint());
    event->setAccepted(static_cast<bool>(OnMouseMove));
}

void TImage::mouseReleaseEvent(QMouseEvent* event)
{
    if (OnMouseUp)
        OnMouseUp(event->button(), event->position().toPoint());
    // The owner still hears of the release (a right click opens its menu then).
    event->ignore();
}
