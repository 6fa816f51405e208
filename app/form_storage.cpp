#include "app/form_storage.h"

#include "app/app_ini_file_storage.h"
#include "platform/format.h"
#include "platform/int_conversion.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <vector>

namespace {

const char* const FormNameMacro = "%FORM_NAME%";

std::vector<std::string> words(std::string_view text)
{
    // A run of blanks and commas is one separator, so "10, 20" and "10 20" read alike.
    std::vector<std::string> found;
    size_t i = 0;
    while (i < text.size()) {
        const size_t start = text.find_first_not_of(" ,", i);
        if (start == std::string_view::npos)
            break;
        const size_t end = std::min(text.find_first_of(" ,", start), text.size());
        found.emplace_back(text.substr(start, end - start));
        i = end;
    }
    return found;
}

int32_t wordAsInteger(const std::vector<std::string>& list, size_t index, int32_t fallback)
{
    int32_t value = 0;
    return index < list.size() && TryStrToInt(list[index], value) ? value : fallback;
}

std::string fourNumbers(int32_t a, int32_t b, int32_t c, int32_t d)
{
    return Format("%d,%d,%d,%d", a, b, c, d);
}

bool fitsIn32Bits(int64_t value)
{
    return value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
}

// Some screen shows at least 16 by 16 pixels of the part of the window that starts a drag (all of it, if it
// is smaller).
bool canBeGrabbed(const TPlacementRect& window, const std::vector<TPlacementRect>& screens)
{
    if (screens.empty())
        return true; // nothing known about the screens: no reason to doubt the stored place
    constexpr int64_t Grip = 16;
    const int64_t needX = std::min<int64_t>(Grip, int64_t {window.right} - window.left);
    const int64_t needY = std::min<int64_t>(Grip, int64_t {window.bottom} - window.top);
    return std::any_of(screens.begin(), screens.end(), [&](const TPlacementRect& screen) {
        const int64_t width = int64_t {std::min(window.right, screen.right)} - std::max(window.left, screen.left);
        const int64_t height = int64_t {std::min(window.bottom, screen.bottom)} - std::max(window.top, screen.top);
        return width >= needX && height >= needY;
    });
}

int32_t clamped(int64_t value)
{
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

std::vector<TFormStorage*>& liveStores()
{
    static std::vector<TFormStorage*> stores;
    return stores;
}

void saveLiveStoresAtExit()
{
    for (TFormStorage* store : liveStores()) {
        try {
            store->SaveAtExit();
        } catch (...) {
            // Nothing can be reported any more, and the next store may still be saved.
        }
    }
}

} // namespace

TPlacementRect IPlacementTarget::grip() const
{
    const TPlacementSize whole = size();
    return {0, 0, whole.width, whole.height};
}

TFormStorage::TFormStorage(TAppIniFileStorage& storage, std::unique_ptr<IPlacementTarget> target)
    : m_storage(storage)
    , m_target(std::move(target))
{
    // The list exists before the handler is registered, so it is still there when the handler runs.
    liveStores().push_back(this);
    [[maybe_unused]] static const bool registered = std::atexit(saveLiveStoresAtExit) == 0;
    m_target->OnPlacementChanged = [this] { placementChanged(); };
    // The window's event delivery is no place for an exception: it ends here, in the error box.
    m_target->OnShow = [this] {
        try {
            FormShow();
        } catch (const std::exception& error) {
            m_target->reportError(error);
        }
    };
    m_target->OnCloseAccepted = [this] {
        try {
            FormCloseAccepted();
        } catch (const std::exception& error) {
            m_target->reportError(error);
        }
    };
}

TFormStorage::~TFormStorage()
{
    std::erase(liveStores(), this);
    m_target->OnShow = nullptr;
    m_target->OnCloseAccepted = nullptr;
    m_target->OnPlacementChanged = nullptr;
    try {
        FormDestroy();
    } catch (const std::exception& error) {
        m_target->reportError(error);
    }
}

std::string TFormStorage::section() const
{
    std::string path = StoragePath;
    const std::string name = m_target->name();
    for (size_t at = path.find(FormNameMacro); at != std::string::npos; at = path.find(FormNameMacro, at + name.size()))
        path.replace(at, std::char_traits<char>::length(FormNameMacro), name);
    return path;
}

void TFormStorage::FormShow()
{
    // A restore that stopped on an error did not count: the next show tries again.
    if (!m_restored)
        RestorePlacement();
}

void TFormStorage::FormCloseAccepted()
{
    SavePlacement();
}

void TFormStorage::FormDestroy()
{
    if (!m_saved)
        SavePlacement();
}

void TFormStorage::RestorePlacement()
{
    const std::string name = section();
    if (m_storage.ReadInteger(name, "FormVersion", 0) >= Version) {
        TWindowPlacement placement = m_target->placement();
        // Applying the placement must not show the window before its show has run.
        placement.showCmd = TWindowPlacement::Hidden;
        placement.flags = m_storage.ReadInteger(name, "Flags", placement.flags);

        const TPlacementSize screen = m_target->screenSize();
        const std::string suffix = Format("(%dx%d)", screen.width, screen.height);
        auto keyForScreen
            = [&](const std::string& key) { return m_storage.ValueExists(name, key + suffix) ? key + suffix : key; };

        const std::string minMaxKey = keyForScreen("MinMaxPos");
        const bool minMaxFound = m_storage.ValueExists(name, minMaxKey);
        const auto minMax = words(m_storage.ReadString(name, minMaxKey, std::string()));
        placement.minPosition = {wordAsInteger(minMax, 0, 0), wordAsInteger(minMax, 1, 0)};
        placement.maxPosition = {wordAsInteger(minMax, 2, 0), wordAsInteger(minMax, 3, 0)};

        const std::string normKey = keyForScreen("NormPos");
        const bool normFound = m_storage.ValueExists(name, normKey);
        const auto norm = words(m_storage.ReadString(name, normKey, std::string()));
        TPlacementRect& rect = placement.normalPosition;
        rect.left = wordAsInteger(norm, 0, rect.left);
        rect.top = wordAsInteger(norm, 1, rect.top);
        // Words 3 and 4 are not read: the window keeps its own size.

        const int32_t pixelsPerInch = m_target->pixelsPerInch();
        if ((minMaxFound || normFound)
            && m_storage.ReadInteger(name, "PixelsPerInch", pixelsPerInch) == pixelsPerInch) {
            // A rectangle that does not fit in 32 bits cannot be a window's, and one that no screen shows
            // enough of to grab (its monitor was removed) would leave the window out of reach: both keep
            // the window at its designed place.
            const TPlacementSize size = m_target->size();
            const int64_t right = int64_t {rect.left} + size.width;
            const int64_t bottom = int64_t {rect.top} + size.height;
            if (fitsIn32Bits(right) && fitsIn32Bits(bottom)) {
                rect.right = static_cast<int32_t>(right);
                rect.bottom = static_cast<int32_t>(bottom);
                const TPlacementRect grip = m_target->grip();
                const TPlacementRect gripOnScreen {
                    clamped(int64_t {rect.left} + grip.left), clamped(int64_t {rect.top} + grip.top),
                    clamped(int64_t {rect.left} + grip.right), clamped(int64_t {rect.top} + grip.bottom)};
                if (rect.left < rect.right && canBeGrabbed(gripOnScreen, m_target->screenRects())) {
                    m_target->keepDesignedPosition();
                    m_target->setPlacement(placement);
                }
            }
        }

        switch (m_storage.ReadInteger(name, "ShowCmd", 0)) {
        case 2:
        case 6:
        case 7:
            m_target->setWindowState(TPlacementWindowState::Normal);
            m_target->minimizeApplication();
            break;
        case 3:
            m_target->setWindowState(TPlacementWindowState::Maximized);
            break;
        default:
            m_target->setWindowState(TPlacementWindowState::Normal);
            break;
        }
    }
    m_restored = true;
    m_saved = false;
}

TFormStorage::Snapshot TFormStorage::capture() const
{
    Snapshot snapshot;
    snapshot.placement = m_target->placement();
    if (m_target->isApplicationMinimized())
        snapshot.placement.showCmd = TWindowPlacement::ShowMinimized;
    snapshot.screen = m_target->screenSize();
    snapshot.pixelsPerInch = m_target->pixelsPerInch();
    return snapshot;
}

void TFormStorage::SavePlacement()
{
    if (m_target->hasHandle())
        write(capture());
}

void TFormStorage::write(const Snapshot& snapshot)
{
    const std::string name = section();
    m_storage.WriteInteger(name, "FormVersion", Version);
    const TWindowPlacement& placement = snapshot.placement;
    m_storage.WriteInteger(name, "ShowCmd", placement.showCmd);
    m_storage.WriteInteger(name, "Flags", placement.flags);
    m_storage.WriteInteger(name, "PixelsPerInch", snapshot.pixelsPerInch);

    const std::string suffix = Format("(%dx%d)", snapshot.screen.width, snapshot.screen.height);
    const std::string minMax = fourNumbers(placement.minPosition.x, placement.minPosition.y, placement.maxPosition.x,
                                           placement.maxPosition.y);
    m_storage.WriteString(name, "MinMaxPos" + suffix, minMax);
    m_storage.WriteString(name, "MinMaxPos", minMax);
    const TPlacementRect& rect = placement.normalPosition;
    const std::string norm = fourNumbers(rect.left, rect.top, rect.right, rect.bottom);
    m_storage.WriteString(name, "NormPos" + suffix, norm);
    m_storage.WriteString(name, "NormPos", norm);
    m_saved = true;
}

void TFormStorage::placementChanged()
{
    if (m_target->hasHandle())
        m_lastKnown = capture();
}

void TFormStorage::SaveAtExit()
{
    // Only plain data and file writes from here: the window system may be gone.
    if (!m_saved && m_lastKnown)
        write(*m_lastKnown);
    m_storage.Flush();
}
