// Any corvane.inf: the store reads it without misbehaving (only its conversion error may come out), never
// moves the window to a place no screen shows, and what it writes back reads the same again.
#include "app/app_ini_file_storage.h"
#include "app/form_storage.h"
#include "platform/exception.h"

#include <cstdint>
#include <string>

namespace {

class Window final : public IPlacementTarget
{
public:
    std::string name() const override { return "Form1"; }
    bool hasHandle() const override { return true; }
    TWindowPlacement placement() const override { return current; }
    void setPlacement(const TWindowPlacement& placement) override
    {
        const TPlacementRect& r = placement.normalPosition;
        // The rectangle keeps the window's size and overlaps the screen.
        if (int64_t {r.right} - r.left != 156 || int64_t {r.bottom} - r.top != 347 || r.right <= 0 || r.bottom <= 0
            || r.left >= 1280 || r.top >= 1024)
            __builtin_trap();
        current.normalPosition = r;
    }
    TPlacementSize size() const override { return {156, 347}; }
    void keepDesignedPosition() override { }
    bool isApplicationMinimized() const override { return false; }
    void minimizeApplication() override { }
    void setWindowState(TPlacementWindowState) override { }
    TPlacementSize screenSize() const override { return {1280, 1024}; }
    std::vector<TPlacementRect> screenRects() const override { return {{0, 0, 1280, 1024}}; }
    int32_t pixelsPerInch() const override { return 96; }
    void reportError(const std::exception&) override { }

    TWindowPlacement current {TWindowPlacement::ShowNormal, 0, {-1, -1}, {-1, -1}, {595, 251, 751, 598}};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string content(reinterpret_cast<const char*>(data), size);
    // No file name: nothing is read from or written to disk.
    TAppIniFileStorage storage(std::string {});
    storage.SetText(content);
    const std::string text = storage.Text();
    TAppIniFileStorage reread(std::string {});
    reread.SetText(text);
    if (reread.Text() != text)
        __builtin_trap();

    auto window = std::make_unique<Window>();
    TFormStorage store(storage, std::move(window));
    try {
        store.RestorePlacement();
    } catch (const Exception&) { }
    store.SavePlacement();
    TAppIniFileStorage saved(std::string {});
    saved.SetText(storage.Text());
    if (saved.Text() != storage.Text() || saved.ReadString("Form1", "FormVersion", "") != "0")
        __builtin_trap();
    return 0;
}
