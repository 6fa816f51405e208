// The program's popup menus: items measured and drawn by the menu, a banner down one side of the first level.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QStyleOptionMenuItem;
class TCustomBarPopupMenu;

enum class TGradientStyle { gsHorizontal, gsVertical, gsDiagonalLeftRight, gsDiagonalRightLeft };
enum class TVertAlignment { vaTop, vaBottom, vaMiddle };
enum class THorzAlignment { haLeft, haRight, haCenter };
enum class TBarSide { sLeft, sRight };
enum class TDirection { dDownToUp, dUpToDown };
enum class TDrawStyle { dsNormal, dsTile, dsStretch };
enum class TMenuStyle { msAuto, msStandard, msWindowsXP };

// Colour at `position` of `extent` steps from `start` towards `end`, each channel in integers truncated
// towards zero: position 0 is exactly `start`, the last position stops one step short of `end`.
QColor GradientColor(const QColor& start, const QColor& end, int position, int extent);

// Nearest integer, halves to the even neighbour (4.5 gives 4, 5.5 gives 6).
int RoundHalfEven(double value);

// Gives every caption a unique mnemonic where it can: kept where unique, moved to the first free character
// otherwise. Captions are of one menu level, visible and not separators, in menu order.
QStringList AutoMnemonics(const QStringList& captions);

// Which of a level's visible lines stay visible: separators before the first item, after the last one, and
// all but the last of a run are dropped. `separator[i]` tells whether line i is a separator.
std::vector<bool> ReducedLines(const std::vector<bool>& separator);

// The parts below belong to one menu; one made without its menu is an error.
class TGradientBar
{
public:
    TGradientBar(TCustomBarPopupMenu* owner, const char* className);
    virtual ~TGradientBar() = default;

    // Index 0 is the start colour, 1 the end colour; any other index raises an error.
    QColor GradientColor(int index) const;
    void SetGradientColor(int index, const QColor& color);

    QColor Border; // invalid: no frame
    QColor GradientStart;
    QColor GradientEnd;
    TGradientStyle GradientStyle = TGradientStyle::gsVertical;

    // Fills `rect` with the gradient, at the painter's device pixel ratio.
    void PaintGradient(QPainter& painter, const QRect& rect) const;
};

class TBarPicture
{
public:
    TBarPicture(TCustomBarPopupMenu* owner, TVertAlignment vert = TVertAlignment::vaBottom,
                THorzAlignment horz = THorzAlignment::haCenter, const char* className = "TBarPicture");
    virtual ~TBarPicture() = default;

    // The picture for a device pixel ratio; empty when there is none.
    std::function<QImage(qreal devicePixelRatio)> Picture;
    // The colour of the picture's bottom-left pixel is left out.
    bool Transparent = true;
    TVertAlignment VertAlignment;
    THorzAlignment HorzAlignment;
    int OffsetX = 0;
    int OffsetY = 0;
    bool Visible = true;

    QImage PictureAt(qreal devicePixelRatio) const;
    // The picture's top-left corner in a banner `width` x `height`.
    QPoint Position(const QSize& picture, int width, int height) const;
};

class TBarBackPicture final : public TBarPicture
{
public:
    explicit TBarBackPicture(TCustomBarPopupMenu* owner);
    TDrawStyle DrawStyle = TDrawStyle::dsNormal;
};

class TBarCaption final
{
public:
    explicit TBarCaption(TCustomBarPopupMenu* owner);

    QString Caption;
    QFont Font;
    QColor Color = Qt::white;
    TDirection Direction = TDirection::dDownToUp;
    TVertAlignment Alignment = TVertAlignment::vaBottom;
    int OffsetY = 6;
    QColor ShadowColor; // invalid: none
    QColor HighlightColor; // invalid: none
    int Depth = 1;
    bool Visible = true;
};

class TBar final : public TGradientBar
{
public:
    explicit TBar(TCustomBarPopupMenu* owner);

    bool Visible = true;
    TBarSide Side = TBarSide::sLeft;
    int Width = 32;
    int Space = 1;
    TBarPicture BarPicture;
    TBarBackPicture BarBackPicture;
    TBarCaption BarCaption;

    // Paints the whole banner into (0, 0, Width, height).
    void Paint(QPainter& painter, int height) const;
};

// The separators' look; only the plain etched line is drawn.
class TSeparators final : public TGradientBar
{
public:
    explicit TSeparators(TCustomBarPopupMenu* owner);
};

class TCustomBarPopupMenu : public QMenu
{
    Q_OBJECT

public:
    explicit TCustomBarPopupMenu(QWidget* parent = nullptr);
    explicit TCustomBarPopupMenu(const QString& title, QWidget* parent = nullptr);
    ~TCustomBarPopupMenu() override;

    // Reading through these may change the parts, so the painted banner is dropped.
    TBar& Bar();
    const TBar& Bar() const { return m_bar; }
    TSeparators& Separators() { return m_separators; }

    TMenuStyle MenuStyle = TMenuStyle::msAuto;
    // What msAuto stands for here: the flat look with even rows.
    TMenuStyle ResolvedStyle() const;

    // The painted banner, kept between openings while the first level stays the same.
    const QImage& BannerCache() const { return m_bannerCache; }
    int BannerHeight() const { return m_bannerHeight; }

    // Measuring and drawing of one item of this menu or of one of its submenus (`level` is that menu).
    QSize MeasureItem(const QStyleOptionMenuItem& item, const QWidget* level) const;
    void DrawItem(QPainter& painter, const QStyleOptionMenuItem& item, const QWidget* level);

    static constexpr int FrameWidth = 3;

protected:
    void actionEvent(QActionEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class Style;

    void init();
    void prepareLevel(QMenu* level);
    void adopt(QMenu* submenu);
    void invalidateBanner();
    void drawBanner(QPainter& painter, const QRect& item);
    bool hasBanner(const QWidget* level) const;

    TBar m_bar;
    TSeparators m_separators;
    std::unique_ptr<Style> m_style;
    std::vector<QPointer<QMenu>> m_submenus;
    std::vector<QPointer<QAction>> m_reducedLines;

    bool m_recompute = true;
    int m_bannerHeight = 0;
    QImage m_bannerCache;
    bool m_cacheValid = false;
};

class TBarPopupMenu final : public TCustomBarPopupMenu
{
    Q_OBJECT

public:
    using TCustomBarPopupMenu::TCustomBarPopupMenu;
};
