// A label that tells when the pointer enters or leaves it and, when asked to, takes the clicks on it.
#pragma once

#include <QLabel>

#include <functional>

class TMouseLabel final : public QLabel
{
public:
    explicit TMouseLabel(QWidget* parent = nullptr);

    std::function<void()> OnMouseEnter;
    std::function<void()> OnMouseLeave;
    // While assigned, presses stay with the label and each release is reported here; otherwise the
    // mouse goes on to the window behind the label.
    std::function<void(Qt::MouseButton button, bool inside)> OnMouseUp;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};
