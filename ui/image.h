// A picture stretched over its rectangle, reporting the mouse to its owner.
#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

class TImage final : public QWidget
{
    Q_OBJECT

public:
    explicit TImage(QWidget* parent = nullptr);

    const QImage& Picture() const { return m_picture; }
    // The picture is drawn scaled to the widget; give it at the screen's scale to keep it sharp.
    void SetPicture(QImage picture);

    // Positions are inside the picture. A release goes on to the parent afterwards.
    std::function<void(Qt::MouseButton button, QPoint position)> OnMouseDown;
    std::function<void(QPoint position)> OnMouseMove;
    std::function<void(Qt::MouseButton button, QPoint position)> OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage m_picture;
};
