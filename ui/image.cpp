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
    if (OnMouseDown)
        OnMouseDown(event->button(), event->position().toPoint());
    event->ignore();
}

void TImage::mouseMoveEvent(QMouseEvent* event)
{
    if (OnMouseMove)
        OnMouseMove(event->position().toPoint());
    event->ignore();
}

void TImage::mouseReleaseEvent(QMouseEvent* event)
{
    if (OnMouseUp)
        OnMouseUp(event->button(), event->position().toPoint());
    event->ignore();
}
