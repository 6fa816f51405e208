#include "ui/bar_popup_menu.h"

#include "platform/exception.h"
#include "platform/format.h"

#include <QActionEvent>
#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

const QString MnemonicKeys = QStringLiteral("1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ");

// Room the menu leaves at the right of every item for a submenu arrow.
constexpr int ArrowColumn = 12;

// Position of the "&" that marks a caption's mnemonic ("&&" is a literal ampersand), or -1.
qsizetype mnemonicMarker(const QString& caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&'))
            continue;
        if (caption[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return i;
    }
    return -1;
}

int channel(int start, int end, int position, int extent)
{
    return start + (end - start) * position / extent;
}

void ownerRequired(const TCustomBarPopupMenu* owner, const char* className)
{
    if (!owner)
        throw Exception(Format("Tried to create %s with no owner.", className));
}

QImage withoutColor(QImage image, QRgb left)
{
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0xffffff) == (left & 0xffffff))
                line[x] = 0;
    }
    return image;
}

} // namespace

QColor GradientColor(const QColor& start, const QColor& end, int position, int extent)
{
    if (extent <= 0)
        return start;
    return QColor(channel(start.red(), end.red(), position, extent),
                  channel(start.green(), end.green(), position, extent),
                  channel(start.blue(), end.blue(), position, extent));
}

int RoundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double rest = value - floor;
    if (rest > 0.5)
        return static_cast<int>(floor) + 1;
    if (rest < 0.5)
        return static_cast<int>(floor);
    return static_cast<int>(std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1);
}

QStringList AutoMnemonics(const QStringList& captions)
{
    QStringList result = captions;
    QString available = MnemonicKeys;
    std::vector<int> collected;
    for (int i = 0; i < result.size(); ++i) {
        const qsizetype marker = mnemonicMarker(result[i]);
        if (marker < 0) {
            collected.push_back(i);
            continue;
        }
        const QChar key = result[i][marker + 1].toUpper();
        if (!MnemonicKeys.contains(key))
            continue;
        if (available.contains(key)) {
            available.remove(key);
            continue;
        }
        result[i].remove(marker, 1);
        collected.push_back(i);
    }

    // Greedy in menu order first; while some stay without one, those left over are served first next time.
    std::map<int, qsizetype> best;
    std::vector<int> order = collected;
    for (size_t attempt = 0; attempt < collected.size(); ++attempt) {
        QString free = available;
        std::map<int, qsizetype> chosen;
        for (const int i : order) {
            const QString& caption = result[i];
            for (qsizetype k = 0; k < caption.size(); ++k) {
                if (caption[k] == QLatin1Char('&')) {
                    ++k;
                    continue;
                }
                const QChar key = caption[k].toUpper();
                if (free.contains(key)) {
                    free.remove(key);
                    chosen[i] = k;
                    break;
                }
            }
        }
        if (attempt == 0 || chosen.size() > best.size())
            best = chosen;
        if (chosen.size() == collected.size())
            break;
        std::vector<int> next;
        for (const int i : order)
            if (!chosen.count(i))
                next.push_back(i);
        for (const int i : collected)
            if (chosen.count(i))
                next.push_back(i);
        order = next;
    }
    for (const auto& [i, at] : best)
        result[i].insert(at, QLatin1Char('&'));
    return result;
}

std::vector<bool> ReducedLines(const std::vector<bool>& separator)
{
    const auto first = std::find(separator.begin(), separator.end(), false);
    const auto last = std::find(separator.rbegin(), separator.rend(), false);
    std::vector<bool> keep(separator.size(), true);
    if (first == separator.end()) {
        keep.assign(separator.size(), false);
        return keep;
    }
    const size_t begin = static_cast<size_t>(first - separator.begin());
    const size_t end = separator.size() - static_cast<size_t>(last - separator.rbegin()); // one past the last
    for (size_t i = 0; i < separator.size(); ++i) {
        if (i < begin || i >= end)
            keep[i] = false;
        else if (separator[i] && i + 1 < end && separator[i + 1])
            keep[i] = false;
    }
    return keep;
}

TGradientBar::TGradientBar(TCustomBarPopupMenu* owner, const char* className)
{
    ownerRequired(owner, className);
}

QColor TGradientBar::GradientColor(int index) const
{
    if (index == 0)
        return GradientStart;
    if (index == 1)
        return GradientEnd;
    throw Exception(Format("Invalid property index %d.", index));
}

void TGradientBar::SetGradientColor(int index, const QColor& color)
{
    if (index == 0)
        GradientStart = color;
    else if (index == 1)
        GradientEnd = color;
    else
        throw Exception(Format("Invalid property index %d.", index));
}

void TGradientBar::PaintGradient(QPainter& painter, const QRect& rect) const
{
    if (rect.isEmpty())
        return;
    if (GradientStart == GradientEnd) {
        painter.fillRect(rect, GradientStart);
        return;
    }
    // Worked out per device pixel, so the steps stay one pixel high on any screen.
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int width = static_cast<int>(std::ceil(rect.width() * ratio));
    const int height = static_cast<int>(std::ceil(rect.height() * ratio));
    QImage image(width, height, QImage::Format_RGB32);
    const QRgb start = GradientStart.rgb();
    const QRgb end = GradientEnd.rgb();
    auto mix = [start, end](int position, int extent) {
        return qRgb(channel(qRed(start), qRed(end), position, extent),
                    channel(qGreen(start), qGreen(end), position, extent),
                    channel(qBlue(start), qBlue(end), position, extent));
    };
    std::vector<QRgb> columns;
    if (GradientStyle == TGradientStyle::gsHorizontal)
        for (int x = 0; x < width; ++x)
            columns.push_back(mix(x, width));
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        switch (GradientStyle) {
        case TGradientStyle::gsVertical:
            std::fill(line, line + width, mix(y, height));
            break;
        case TGradientStyle::gsHorizontal:
            std::copy(columns.begin(), columns.end(), line);
            break;
        case TGradientStyle::gsDiagonalLeftRight:
        case TGradientStyle::gsDiagonalRightLeft:
            for (int x = 0; x < width; ++x) {
                const int column = GradientStyle == TGradientStyle::gsDiagonalLeftRight ? x : width - 1 - x;
                line[x] = mix(static_cast<int>(512.0 * (double(y) / height + double(column) / width)), 1024);
            }
            break;
        }
    }
    painter.drawImage(QRectF(rect), image);
}

TBarPicture::TBarPicture(TCustomBarPopupMenu* owner, TVertAlignment vert, THorzAlignment horz, const char* className)
    : VertAlignment(vert)
    , HorzAlignment(horz)
{
    ownerRequired(owner, className);
}

QImage TBarPicture::PictureAt(qreal devicePixelRatio) const
{
    QImage image = Picture ? Picture(devicePixelRatio) : QImage();
    if (image.isNull() || !Transparent)
        return image;
    const qreal ratio = image.devicePixelRatio();
    image = withoutColor(image, image.pixel(0, image.height() - 1));
    image.setDevicePixelRatio(ratio);
    return image;
}

QPoint TBarPicture::Position(const QSize& picture, int width, int height) const
{
    int x = OffsetX;
    if (HorzAlignment == THorzAlignment::haCenter)
        x = (width - picture.width()) / 2 + OffsetX;
    else if (HorzAlignment == THorzAlignment::haRight)
        x = width + OffsetX - picture.width();
    int y = OffsetY;
    if (VertAlignment == TVertAlignment::vaBottom)
        y = height + OffsetY - picture.height();
    else if (VertAlignment == TVertAlignment::vaMiddle)
        y = (height - picture.height()) / 2 + OffsetY;
    return QPoint(x, y);
}

TBarBackPicture::TBarBackPicture(TCustomBarPopupMenu* owner)
    : TBarPicture(owner, TVertAlignment::vaTop, THorzAlignment::haLeft, "TBarBackPicture")
{ }

TBarCaption::TBarCaption(TCustomBarPopupMenu* owner)
    : Font(QStringLiteral("Tahoma"), 14, QFont::Bold, true)
{
    ownerRequired(owner, "TBarCaption");
}

TBar::TBar(TCustomBarPopupMenu* owner)
    : TGradientBar(owner, "TBar")
    , BarPicture(owner)
    , BarBackPicture(owner)
    , BarCaption(owner)
{
    GradientStart = QColor(0xAF, 0xBD, 0xD8);
    GradientEnd = Qt::black;
}

namespace {

QSize logicalSize(const QImage& image)
{
    return (QSizeF(image.size()) / image.devicePixelRatio()).toSize();
}

} // namespace

void TBar::Paint(QPainter& painter, int height) const
{
    const QRect rect(0, 0, Width, height);
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    PaintGradient(painter, rect);

    if (BarBackPicture.Visible) {
        const QImage back = BarBackPicture.PictureAt(ratio);
        if (!back.isNull()) {
            switch (BarBackPicture.DrawStyle) {
            case TDrawStyle::dsNormal:
                painter.drawImage(BarBackPicture.Position(logicalSize(back), Width, height), back);
                break;
            case TDrawStyle::dsTile:
                painter.drawTiledPixmap(rect, QPixmap::fromImage(back));
                break;
            case TDrawStyle::dsStretch:
                painter.drawImage(QRectF(rect), back);
                break;
            }
        }
    }
    if (Border.isValid()) {
        painter.setPen(Border);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
    }

    const QImage picture = BarPicture.PictureAt(ratio);
    if (BarPicture.Visible && !picture.isNull())
        painter.drawImage(BarPicture.Position(logicalSize(picture), Width, height), picture);

    if (!BarCaption.Visible || BarCaption.Caption.isEmpty())
        return;
    const QFontMetrics metrics(BarCaption.Font, painter.device());
    const int cx = metrics.horizontalAdvance(BarCaption.Caption);
    const int cy = metrics.height();
    int x = RoundHalfEven((Width - cy) / 2.0 - 0.5);
    int y = 0;
    switch (BarCaption.Alignment) {
    case TVertAlignment::vaBottom:
        y = height - BarCaption.OffsetY;
        if (BarPicture.VertAlignment == TVertAlignment::vaBottom)
            y -= logicalSize(picture).height();
        break;
    case TVertAlignment::vaTop:
        y = BarCaption.OffsetY + cx;
        break;
    case TVertAlignment::vaMiddle:
        y = RoundHalfEven((height + cx) / 2.0 - 0.5);
        break;
    }
    const bool upward = BarCaption.Direction == TDirection::dDownToUp;
    if (!upward) {
        y -= cx;
        x += cy + 1;
    }
    painter.save();
    painter.setClipRect(QRect(0, 0, Width, height + 1));
    // Written level into a picture and turned a quarter: exact for a right angle, and the glyphs come from the
    // ordinary glyph cache, which keeps a repaint of the banner cheap.
    const int margin = cy; // room for italic overhang on either end
    auto write = [&](const QColor& color, int atX, int atY) {
        QImage level(QSize(cx + 2 * margin, cy) * ratio, QImage::Format_ARGB32_Premultiplied);
        level.setDevicePixelRatio(ratio);
        level.fill(Qt::transparent);
        {
            QPainter text(&level);
            text.setFont(BarCaption.Font);
            text.setPen(color);
            text.drawText(margin, metrics.ascent(), BarCaption.Caption);
        }
        QImage turned = level.transformed(QTransform().rotate(upward ? -90 : 90));
        turned.setDevicePixelRatio(ratio);
        // Where the text's starting corner (margin, 0) of the level picture lands.
        const int span = cx + 2 * margin;
        const QPoint corner = upward ? QPoint(atX, atY - (span - margin)) : QPoint(atX - cy, atY - margin);
        painter.drawImage(corner, turned);
    };
    const int depth = BarCaption.Depth;
    if (BarCaption.HighlightColor.isValid())
        write(BarCaption.HighlightColor, x - depth, y + depth);
    if (BarCaption.ShadowColor.isValid())
        write(BarCaption.ShadowColor, x + depth, y - depth);
    write(BarCaption.Color, x, y);
    painter.restore();
}

TSeparators::TSeparators(TCustomBarPopupMenu* owner)
    : TGradientBar(owner, "TSeparators")
{
    GradientStart = QColor(0x80, 0x80, 0x80);
    GradientEnd = QColor(0xC0, 0xC0, 0xC0);
    GradientStyle = TGradientStyle::gsHorizontal;
}

// Measures and draws the items of the menu and of its submenus; everything else is the desktop's style.
class TCustomBarPopupMenu::Style final : public QProxyStyle
{
public:
    explicit Style(TCustomBarPopupMenu& menu)
        : QProxyStyle(QStyleFactory::create(QApplication::style()->name()))
        , m_menu(menu)
    { }

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        switch (metric) {
        case PM_MenuPanelWidth:
            return FrameWidth;
        case PM_MenuHMargin:
        case PM_MenuVMargin:
            return 0;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        // Disabled items light up under the pointer too, drawn in their disabled colours.
        if (hint == SH_Menu_AllowActiveAndDisabled)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        if (type == CT_MenuItem)
            if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option))
                return m_menu.MeasureItem(*item, widget);
        if (type == CT_Menu)
            return size;
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        if (element == CE_MenuItem)
            if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
                m_menu.DrawItem(*painter, *item, widget);
                return;
            }
        if (element == CE_MenuEmptyArea) {
            painter->fillRect(option->rect, option->palette.color(QPalette::Active, QPalette::Window));
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element == PE_PanelMenu) {
            painter->fillRect(option->rect, option->palette.color(QPalette::Active, QPalette::Window));
            return;
        }
        if (element == PE_FrameMenu) {
            // A dark line round the menu, then the menu colour up to the items.
            const QRect outer = option->rect;
            const QColor window = option->palette.color(QPalette::Active, QPalette::Window);
            painter->fillRect(outer, window);
            painter->setPen(option->palette.color(QPalette::Active, QPalette::Dark));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(outer.adjusted(0, 0, -1, -1));
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

private:
    TCustomBarPopupMenu& m_menu;
};

TCustomBarPopupMenu::TCustomBarPopupMenu(QWidget* parent)
    : QMenu(parent)
    , m_bar(this)
    , m_separators(this)
{
    init();
}

TCustomBarPopupMenu::TCustomBarPopupMenu(const QString& title, QWidget* parent)
    : QMenu(title, parent)
    , m_bar(this)
    , m_separators(this)
{
    init();
}

TCustomBarPopupMenu::~TCustomBarPopupMenu()
{
    // The drawing style goes with this object; nothing may use it afterwards.
    for (const QPointer<QMenu>& submenu : m_submenus)
        if (submenu)
            submenu->setStyle(nullptr);
    setStyle(nullptr);
}

void TCustomBarPopupMenu::init()
{
    m_style = std::make_unique<Style>(*this);
    setStyle(m_style.get());
    // Lines are reduced by our own rule, which keeps the last of a run.
    setSeparatorsCollapsible(false);
    connect(this, &QMenu::aboutToShow, this, [this] {
        m_recompute = true;
        m_bannerHeight = 0;
        prepareLevel(this);
    });
}

TBar& TCustomBarPopupMenu::Bar()
{
    invalidateBanner();
    return m_bar;
}

TMenuStyle TCustomBarPopupMenu::ResolvedStyle() const
{
    return MenuStyle == TMenuStyle::msAuto ? TMenuStyle::msWindowsXP : MenuStyle;
}

bool TCustomBarPopupMenu::hasBanner(const QWidget* level) const
{
    return level == this && m_bar.Visible;
}

void TCustomBarPopupMenu::invalidateBanner()
{
    m_recompute = true;
    m_cacheValid = false;
}

void TCustomBarPopupMenu::actionEvent(QActionEvent* event)
{
    QMenu::actionEvent(event);
    invalidateBanner();
    if (event->type() == QEvent::ActionAdded)
        if (QMenu* submenu = event->action()->menu())
            adopt(submenu);
}

void TCustomBarPopupMenu::resizeEvent(QResizeEvent* event)
{
    QMenu::resizeEvent(event);
    m_recompute = true;
}

void TCustomBarPopupMenu::adopt(QMenu* submenu)
{
    for (const QPointer<QMenu>& known : m_submenus)
        if (known == submenu)
            return;
    m_submenus.erase(std::remove(m_submenus.begin(), m_submenus.end(), nullptr), m_submenus.end());
    m_submenus.emplace_back(submenu);
    submenu->setStyle(m_style.get());
    submenu->setSeparatorsCollapsible(false);
    connect(submenu, &QMenu::aboutToShow, this, [this, submenu] { prepareLevel(submenu); });
}

void TCustomBarPopupMenu::prepareLevel(QMenu* level)
{
    auto reducedHere = [this](QAction* action) {
        return std::find(m_reducedLines.begin(), m_reducedLines.end(), action) != m_reducedLines.end();
    };
    m_reducedLines.erase(std::remove(m_reducedLines.begin(), m_reducedLines.end(), nullptr), m_reducedLines.end());

    // Separators this rule hid count as visible again; only changes are applied, so an unchanged menu
    // keeps its painted banner.
    std::vector<QAction*> lines;
    std::vector<bool> separator;
    for (QAction* action : level->actions())
        if (action->isVisible() || reducedHere(action)) {
            lines.push_back(action);
            separator.push_back(action->isSeparator());
        }
    const std::vector<bool> keep = ReducedLines(separator);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!separator[i])
            continue;
        QAction* line = lines[i];
        const bool reduced = reducedHere(line);
        if (keep[i] && reduced) {
            m_reducedLines.erase(std::find(m_reducedLines.begin(), m_reducedLines.end(), line));
            line->setVisible(true);
        } else if (!keep[i] && !reduced) {
            m_reducedLines.emplace_back(line);
            line->setVisible(false);
        }
    }

    QList<QAction*> items;
    QStringList captions;
    for (QAction* action : level->actions())
        if (action->isVisible() && !action->isSeparator() && !action->text().isEmpty()) {
            items << action;
            captions << action->text();
        }
    captions = AutoMnemonics(captions);
    for (int i = 0; i < items.size(); ++i)
        items[i]->setText(captions[i]);

    for (QAction* action : level->actions())
        if (QMenu* submenu = action->menu())
            adopt(submenu);
}

QSize TCustomBarPopupMenu::MeasureItem(const QStyleOptionMenuItem& item, const QWidget* level) const
{
    const bool flat = ResolvedStyle() == TMenuStyle::msWindowsXP;
    QSize size;
    if (item.menuItemType == QStyleOptionMenuItem::Separator) {
        // Not zero wide: the menu drops a row whose size is empty, and a level without the banner adds no width.
        size = QSize(1, flat ? 9 : 12);
    } else {
        QFont font = item.font;
        font.setBold(item.menuItemType == QStyleOptionMenuItem::DefaultItem || font.bold());
        const QFontMetrics metrics(font);
        const QString caption = item.text.section(QLatin1Char('\t'), 0, 0);
        const int captionWidth
            = metrics.boundingRect(QRect(), Qt::TextSingleLine | Qt::TextShowMnemonic | Qt::TextExpandTabs, caption)
                  .width();
        // A line of text and a pixel above and below is what a menu row needs; three more, as owner-drawn rows get.
        size = QSize(captionWidth + ArrowColumn + 15, metrics.height() + 2 + 3);
        if (flat) {
            size.rheight() += size.height() % 2;
            size.rwidth() += 2;
        }
    }
    if (hasBanner(level))
        size.rwidth() += m_bar.Width + m_bar.Space;
    return size;
}

void TCustomBarPopupMenu::DrawItem(QPainter& painter, const QStyleOptionMenuItem& item, const QWidget* level)
{
    const bool banner = hasBanner(level);
    QRect area = item.rect;
    if (banner) {
        const int taken = m_bar.Width + m_bar.Space;
        if (m_bar.Side == TBarSide::sRight)
            area.setRight(area.right() - taken);
        else
            area.setLeft(area.left() + taken);
    }
    const QPalette& palette = item.palette;
    auto color = [&palette](QPalette::ColorRole role) { return palette.color(QPalette::Active, role); };

    painter.save();
    if (item.menuItemType == QStyleOptionMenuItem::Separator) {
        // Etched: a shadow row over a highlight row, five pixels down, on the menu's own background.
        const int y = item.rect.top() + 5;
        painter.fillRect(QRect(area.left(), y, area.width(), 1), color(QPalette::Dark));
        painter.fillRect(QRect(area.left(), y + 1, area.width(), 1), color(QPalette::Light));
    } else {
        const bool selected = item.state & QStyle::State_Selected;
        const bool enabled = item.state & QStyle::State_Enabled;
        painter.fillRect(area, selected ? color(QPalette::Highlight) : color(QPalette::Window));

        QFont font = item.font;
        if (item.menuItemType == QStyleOptionMenuItem::DefaultItem)
            font.setBold(true);
        painter.setFont(font);
        const QFontMetrics metrics(font);
        const int left = area.left() + (ResolvedStyle() == TMenuStyle::msWindowsXP ? 8 : 6);
        QRect text(left, area.top() + (area.height() - metrics.height()) / 2, area.right() - 1 - left,
                   metrics.height());
        const bool underline = level->style()->styleHint(QStyle::SH_UnderlineShortcut, &item, level);
        const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextExpandTabs
            | (underline ? Qt::TextShowMnemonic : Qt::TextHideMnemonic);
        const QString caption = item.text.section(QLatin1Char('\t'), 0, 0);
        QColor pen = selected ? color(QPalette::HighlightedText) : color(QPalette::WindowText);
        if (!enabled) {
            if (!selected) {
                painter.setPen(color(QPalette::Light));
                painter.drawText(text.translated(1, 1), flags, caption);
            }
            pen = selected && color(QPalette::Highlight) == color(QPalette::Dark) ? color(QPalette::Light)
                                                                                  : color(QPalette::Dark);
        }
        painter.setPen(pen);
        painter.drawText(text, flags, caption);

        if (item.menuItemType == QStyleOptionMenuItem::SubMenu) {
            // A small solid triangle pointing to the submenu.
            const int x = area.right() - ArrowColumn + 5;
            const int y = area.top() + area.height() / 2;
            painter.setRenderHint(QPainter::Antialiasing, false);
            for (int i = 0; i < 4; ++i)
                painter.fillRect(QRect(x + i, y - 3 + i, 1, 7 - 2 * i), pen);
        }
    }
    painter.restore();
    if (banner)
        drawBanner(painter, item.rect);
}

void TCustomBarPopupMenu::drawBanner(QPainter& painter, const QRect& item)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : devicePixelRatioF();
    if (m_recompute) {
        m_bannerHeight = height() - 2 * FrameWidth;
        m_recompute = false;
    }
    const QSize pixels(static_cast<int>(std::ceil(m_bar.Width * ratio)),
                       static_cast<int>(std::ceil(m_bannerHeight * ratio)));
    if (m_bannerCache.size() != pixels || m_bannerCache.devicePixelRatio() != ratio) {
        m_bannerCache = QImage(pixels, QImage::Format_RGB32);
        m_bannerCache.setDevicePixelRatio(ratio);
        m_cacheValid = false;
    }
    if (!m_cacheValid) {
        QPainter banner(&m_bannerCache);
        m_bar.Paint(banner, m_bannerHeight);
        m_cacheValid = true;
    }
    // Only the item's own rows of the banner are copied, so a hovered item repaints just its slice.
    const int x = m_bar.Side == TBarSide::sRight ? item.right() + 1 - m_bar.Width : item.left();
    const QRectF source(0, (item.top() - FrameWidth) * ratio, pixels.width(), item.height() * ratio);
    painter.drawImage(QRectF(x, item.top(), m_bar.Width, item.height()), m_bannerCache, source);
}
