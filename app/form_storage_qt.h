// A top-level QWidget as the placement store's window: its placement, its show and its accepted close.
#pragma once

#include "app/form_storage.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

// Watches the window through an event filter, so the window needs no code of its own for the store:
// a show event arrives before the window is mapped (the restore's move lands before the window
// system places it), and a close event is handed to the window's own handler first, so only a close
// the window agreed to saves.
class TWidgetPlacementTarget final : public QObject, public IPlacementTarget
{
public:
    explicit TWidgetPlacementTarget(QWidget* window);

    std::string name() const override;
    bool hasHandle() const override;
    TWindowPlacement placement() const override;
    void setPlacement(const TWindowPlacement& placement) override;
    TPlacementSize size() const override;
    TPlacementRect grip() const override;
    // Only this part of the window (in its own coordinates) starts a drag; all of it, unless set.
    void SetGrip(const QRect& grip) { m_grip = grip; }
    void keepDesignedPosition() override;
    bool isApplicationMinimized() const override;
    void minimizeApplication() override;
    void setWindowState(TPlacementWindowState state) override;
    TPlacementSize screenSize() const override;
    std::vector<TPlacementRect> screenRects() const override;
    int32_t pixelsPerInch() const override;
    void reportError(const std::exception& error) override;

    // The window is about to be shown: raises the show ahead of the show event, which then raises nothing.
    void BeforeShow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_window;
    bool m_shownAhead = false;
    QRect m_grip;
};
