// The main window's placement store: what is saved to corvane.inf and restored from it, and when.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TAppIniFileStorage;

struct TPlacementPoint
{
    int32_t x = 0;
    int32_t y = 0;
};

struct TPlacementRect
{
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

struct TPlacementSize
{
    int32_t width = 0;
    int32_t height = 0;
};

// A window's placement in the platform's terms. The show states are the platform's numbers.
struct TWindowPlacement
{
    static constexpr int32_t Hidden = 0;
    static constexpr int32_t ShowNormal = 1;
    static constexpr int32_t ShowMinimized = 2;
    static constexpr int32_t ShowMaximized = 3;

    int32_t showCmd = ShowNormal;
    int32_t flags = 0;
    TPlacementPoint minPosition;
    TPlacementPoint maxPosition;
    TPlacementRect normalPosition;
};

enum class TPlacementWindowState { Normal, Minimized, Maximized };

// The window as the placement store sees it, so the store runs without a window system in tests.
class IPlacementTarget
{
public:
    virtual ~IPlacementTarget() = default;

    // Raised on each show of the window, before it becomes visible, and after the window agreed to close.
    std::function<void()> OnShow;
    std::function<void()> OnCloseAccepted;
    // Raised when the window has moved, changed its state, or been shown or hidden.
    std::function<void()> OnPlacementChanged;

    // The window's component name, read each time: the window may name itself after the store exists.
    virtual std::string name() const = 0;
    // The window exists in the window system; there is nothing to save before it does.
    virtual bool hasHandle() const = 0;
    virtual TWindowPlacement placement() const = 0;
    // Moves the window as `placement` says; never shows or hides it and never resizes it.
    virtual void setPlacement(const TWindowPlacement& placement) = 0;
    virtual TPlacementSize size() const = 0;
    // The part of the window that starts a drag, in the window's own coordinates: all of it, unless the
    // window says otherwise.
    virtual TPlacementRect grip() const;
    // The window keeps the position it is given instead of being placed by the window system.
    virtual void keepDesignedPosition() = 0;
    // The window is the application's main window and the application is minimised.
    virtual bool isApplicationMinimized() const = 0;
    // Asks, through the event queue, for the whole application to be minimised.
    virtual void minimizeApplication() = 0;
    virtual void setWindowState(TPlacementWindowState state) = 0;
    // The screen in pixels, and its logical resolution in dots per inch.
    virtual TPlacementSize screenSize() const = 0;
    // Every screen's rectangle on the desktop.
    virtual std::vector<TPlacementRect> screenRects() const = 0;
    virtual int32_t pixelsPerInch() const = 0;
    // Shows an error that escaped the store's handlers, in the error box.
    virtual void reportError(const std::exception& error) = 0;
};

// Restores the placement on the window's first show in a run and saves it when the window agrees to close,
// or when the store goes with its window and nothing was saved since the last restore.
// Own it in the window, declared after the TAppIniFileStorage it writes to, so the last save lands before
// the storage flushes.
// A process that ends through exit() without unwinding (Qt ends it so when the X connection breaks) still
// saves: the store keeps the placement the window last reported, and an exit handler writes that and
// flushes the storage, asking nothing of a window system that may be gone.
class TFormStorage final
{
public:
    TFormStorage(TAppIniFileStorage& storage, std::unique_ptr<IPlacementTarget> target);
    // The window is being destroyed: saves unless a save happened since the last restore.
    ~TFormStorage();
    TFormStorage(const TFormStorage&) = delete;
    TFormStorage& operator=(const TFormStorage&) = delete;

    // "%FORM_NAME%" stands for the window's component name.
    std::string StoragePath = "%FORM_NAME%";
    // A stored version below this one is not applied.
    int32_t Version = 0;

    // The handlers of the window's events; they raise what the window does not catch itself.
    void FormShow();
    void FormCloseAccepted();
    void FormDestroy();

    void RestorePlacement();
    void SavePlacement();

    std::string section() const;
    IPlacementTarget& target() { return *m_target; }

    // What the exit handler does for every live store; tests call it directly.
    void SaveAtExit();

private:
    struct Snapshot
    {
        TWindowPlacement placement;
        TPlacementSize screen;
        int32_t pixelsPerInch = 0;
    };
    Snapshot capture() const;
    void write(const Snapshot& snapshot);
    void placementChanged();

    TAppIniFileStorage& m_storage;
    std::unique_ptr<IPlacementTarget> m_target;
    bool m_restored = false;
    bool m_saved = false;
    std::optional<Snapshot> m_lastKnown;
};
