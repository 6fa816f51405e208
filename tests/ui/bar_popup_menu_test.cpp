// Banner menus rendered offscreen and checked pixel by pixel, and the rules they apply at every opening.
#include "app/chrome_look.h"
#include "platform/exception.h"
#include "ui/bar_popup_menu.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionMenuItem>

#include <gtest/gtest.h>

// Colours read as #rrggbb in failure messages.
void PrintTo(const QColor& color, std::ostream* out)
{
    *out << color.name().toStdString();
}

namespace {

const QColor Navy(0x00, 0x00, 0x80);
const QColor Tan(0xF0, 0xCA, 0xA6);

// The main menu's shape: a submenu, a hidden item, separators and a disabled item.
struct ProgramLikeMenu
{
    ProgramLikeMenu()
    {
        SetUpProgramBanner(menu);
        sub = new QMenu(QStringLiteral("Risorse"), &menu);
        sub->addAction(QStringLiteral("&Aggiungi risorsa"));
        sub->addAction(QStringLiteral("&Modifica risorsa"));
        sub->addAction(QStringLiteral("Visualizza/Nascondi"));
        sub->addSeparator();
        sub->addAction(QStringLiteral("&Elimina risorsa"));
        risorse = menu.addMenu(sub);
        run = menu.addAction(QStringLiteral("Avvia i &processi immediatamente"));
        menu.addAction(QStringLiteral("proc_update"))->setVisible(false);
        menu.addAction(QStringLiteral("&Impostazioni"));
        menu.addSeparator();
        menu.addAction(QStringLiteral("Ve&rifica aggiornamenti"));
        menu.addAction(QStringLiteral("Visita sito &web"));
        about = menu.addAction(QStringLiteral("In&formazioni"));
        menu.addSeparator();
        menu.addAction(QStringLiteral("&Visualizza/Nascondi"));
        menu.addAction(QStringLiteral("&Esci"));
    }
    ~ProgramLikeMenu() { menu.close(); }

    // Opens the menu and returns what it shows.
    QImage open(QPoint at = QPoint(100, 50))
    {
        menu.popup(at);
        QApplication::processEvents();
        return menu.grab().toImage();
    }

    // Left edge of the banner in menu coordinates.
    int bannerLeft() const { return menu.width() - TCustomBarPopupMenu::FrameWidth - 32; }
    int bannerRow(int y) const { return y + TCustomBarPopupMenu::FrameWidth; }

    TBarPopupMenu menu;
    QMenu* sub = nullptr;
    QAction* risorse = nullptr;
    QAction* run = nullptr;
    QAction* about = nullptr;
};

QColor at(const QImage& image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

// A palette colour as it lands in 8-bit pixels.
QColor role(const QWidget& widget, QPalette::ColorRole role)
{
    return QColor(widget.palette().color(QPalette::Active, role).rgb());
}

TEST(BarPopupMenuTest, BannerIsTheGradientWithEmblemAndCaptionWhereTheyBelong)
{
    ProgramLikeMenu m;
    const QImage image = m.open();
    const int H = m.menu.height() - 2 * TCustomBarPopupMenu::FrameWidth;
    ASSERT_EQ(m.menu.BannerHeight(), H);
    const int left = m.bannerLeft();

    // Columns 0, 1, 30 and 31 carry nothing but the gradient: row y has the formula's colour.
    EXPECT_EQ(at(image, left, m.bannerRow(0)), Navy);
    for (int y = 0; y < H; ++y)
        for (int x : {0, 1, 30, 31})
            ASSERT_EQ(at(image, left + x, m.bannerRow(y)), GradientColor(Navy, Tan, y, H)) << "row " << y;
    EXPECT_NE(GradientColor(Navy, Tan, H - 1, H), Tan) << "the bottom row stops one step short";

    // The emblem fills (8, H - 16) to (23, H - 1); its key-coloured corner shows the gradient.
    int emblem = 0;
    for (int y = H - 16; y < H; ++y)
        for (int x = 8; x < 24; ++x)
            emblem += at(image, left + x, m.bannerRow(y)) != GradientColor(Navy, Tan, y, H);
    EXPECT_GT(emblem, 60);
    EXPECT_EQ(at(image, left + 8, m.bannerRow(H - 1)), GradientColor(Navy, Tan, H - 1, H));
    for (int y = H - 16; y < H; ++y)
        for (int x : {7, 24})
            ASSERT_EQ(at(image, left + x, m.bannerRow(y)), GradientColor(Navy, Tan, y, H)) << "beside the emblem";

    // The white name reads upward from 22 pixels above the bottom: white above that row, none just below it.
    auto whiteInRows = [&](int from, int to) {
        int count = 0;
        for (int y = from; y < to; ++y)
            for (int x = 0; x < 32; ++x) {
                const QColor c = at(image, left + x, m.bannerRow(y));
                count += c.red() > 235 && c.green() > 235 && c.blue() > 235;
            }
        return count;
    };
    EXPECT_GT(whiteInRows(H - 22 - 20, H - 22), 20);
    EXPECT_EQ(whiteInRows(H - 20, H - 16), 0);
}

TEST(BarPopupMenuTest, SelectionCoversTheItemAreaOnlyAndRowsFollowTheMeasuringRules)
{
    ProgramLikeMenu m;
    const QImage idle = m.open();
    m.menu.setActiveAction(m.about);
    const QImage hovered = m.menu.grab().toImage();
    const QRect row = m.menu.actionGeometry(m.about);
    const QColor window = role(m.menu, QPalette::Window);
    const QColor highlight = role(m.menu, QPalette::Highlight);
    const int gap = row.right() - 32;

    for (int y = row.top(); y <= row.bottom(); ++y) {
        EXPECT_EQ(at(hovered, row.left(), y), highlight);
        EXPECT_EQ(at(hovered, gap - 1, y), highlight);
        EXPECT_EQ(at(hovered, gap, y), window) << "the gap stays menu background";
        for (int x = gap + 1; x <= row.right(); ++x)
            ASSERT_EQ(hovered.pixel(x, y), idle.pixel(x, y)) << "the banner never shows the selection";
    }
    for (int y = 3; y < m.menu.height() - 3; ++y)
        ASSERT_EQ(at(idle, gap, y), window) << "gap at row " << y;

    // Text starts 8 pixels into the item area.
    int firstInk = row.right();
    for (int y = row.top(); y <= row.bottom(); ++y)
        for (int x = row.left(); x < gap; ++x)
            if (at(hovered, x, y) != highlight) {
                firstInk = std::min(firstInk, x);
                break;
            }
    EXPECT_GE(firstInk - row.left(), 8);
    EXPECT_LE(firstInk - row.left(), 9);

    for (QAction* action : m.menu.actions()) {
        if (!action->isVisible())
            continue;
        const QRect r = m.menu.actionGeometry(action);
        if (action->isSeparator()) {
            EXPECT_EQ(r.height(), 9);
            const QColor dark = role(m.menu, QPalette::Dark);
            const QColor light = role(m.menu, QPalette::Light);
            for (int y = r.top(); y <= r.bottom(); ++y)
                EXPECT_EQ(at(idle, r.left() + 4, y), y == r.top() + 5 ? dark : y == r.top() + 6 ? light : window);
            EXPECT_EQ(at(idle, gap - 1, r.top() + 5), dark) << "the line runs across the item area";
            EXPECT_EQ(at(idle, gap, r.top() + 5), window);
        } else {
            EXPECT_EQ(r.height() % 2, 0) << action->text().toStdString();
        }
    }
}

TEST(BarPopupMenuTest, BannerSpansEveryOpeningAndIsRepaintedOnlyAfterAFirstLevelChange)
{
    ProgramLikeMenu m;
    m.open();
    const qint64 painted = m.menu.BannerCache().cacheKey();
    const int tall = m.menu.BannerHeight();
    m.menu.close();
    QImage image = m.open();
    EXPECT_EQ(m.menu.BannerCache().cacheKey(), painted) << "the same menu reuses its banner";

    m.run->setVisible(false);
    m.menu.close();
    image = m.open();
    const int H = m.menu.BannerHeight();
    EXPECT_EQ(H, m.menu.height() - 2 * TCustomBarPopupMenu::FrameWidth);
    EXPECT_LT(H, tall);
    EXPECT_EQ(at(image, m.bannerLeft(), m.bannerRow(H - 1)), GradientColor(Navy, Tan, H - 1, H));
    EXPECT_NE(m.menu.BannerCache().cacheKey(), painted);

    // A submenu change leaves the first level, and its banner, alone.
    const qint64 repainted = m.menu.BannerCache().cacheKey();
    m.sub->actions().first()->setText(QStringLiteral("&Nuova risorsa"));
    m.menu.close();
    m.open();
    EXPECT_EQ(m.menu.BannerCache().cacheKey(), repainted);
}

TEST(BarPopupMenuTest, SubmenuHasNoBannerAndIsNotWidened)
{
    ProgramLikeMenu m;
    m.open();
    m.menu.setActiveAction(m.risorse);
    m.sub->popup(m.menu.mapToGlobal(m.menu.actionGeometry(m.risorse).topRight()));
    QApplication::processEvents();
    const QImage image = m.sub->grab().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = at(image, x, y);
            ASSERT_FALSE(c.blue() > 100 && c.red() < 60 && c.green() < 60) << "navy at " << x << "," << y;
        }
    EXPECT_EQ(m.sub->actions()[2]->text(), QStringLiteral("&Visualizza/Nascondi"));

    // The same captions on a first level are 33 pixels wider.
    TBarPopupMenu level;
    for (QAction* action : m.sub->actions())
        action->isSeparator() ? level.addSeparator() : level.addAction(action->text());
    level.popup(QPoint(10, 10));
    QApplication::processEvents();
    EXPECT_EQ(level.actionGeometry(level.actions()[0]).width(),
              m.sub->actionGeometry(m.sub->actions()[0]).width() + 33);
    level.close();
}

TEST(BarPopupMenuTest, BannerIsPaintedAtTheDevicePixelRatio)
{
    ProgramLikeMenu m;
    constexpr int H = 100;
    QImage image(64, 2 * H, QImage::Format_RGB32);
    image.setDevicePixelRatio(2);
    {
        QPainter painter(&image);
        m.menu.Bar().Paint(painter, H);
    }
    for (int y = 0; y < 2 * H; ++y)
        ASSERT_EQ(at(image, 0, y), GradientColor(Navy, Tan, y, 2 * H)) << "one step per device row";
    // The emblem is drawn from artwork for this ratio, not a small picture blown up in 2 x 2 blocks.
    int sharp = 0;
    for (int y = 2 * H - 32; y < 2 * H; y += 2)
        for (int x = 16; x < 48; x += 2)
            sharp += image.pixel(x, y) != image.pixel(x + 1, y) || image.pixel(x, y) != image.pixel(x, y + 1);
    EXPECT_GT(sharp, 20);
}

TEST(BarPopupMenuTest, MnemonicsStayUniqueAndLinesAreReducedAtEveryOpening)
{
    const QStringList program = {QStringLiteral("Risorse"),
                                 QStringLiteral("Avvia i &processi immediatamente"),
                                 QStringLiteral("&Impostazioni"),
                                 QStringLiteral("Ve&rifica aggiornamenti"),
                                 QStringLiteral("Visita sito &web"),
                                 QStringLiteral("In&formazioni"),
                                 QStringLiteral("&Visualizza/Nascondi"),
                                 QStringLiteral("&Esci")};
    QStringList expected = program;
    expected[0] = QStringLiteral("Ri&sorse");
    EXPECT_EQ(AutoMnemonics(program), expected);

    // A clash moves the later one; a literal "&&" is no mnemonic; a mark outside the letters and digits stays.
    EXPECT_EQ(AutoMnemonics({QStringLiteral("&Apri"), QStringLiteral("&Annulla"), QStringLiteral("A&&B"),
                             QStringLiteral("&-x"), QStringLiteral("&Apri")}),
              (QStringList {QStringLiteral("&Apri"), QStringLiteral("A&nnulla"), QStringLiteral("A&&&B"),
                            QStringLiteral("&-x"), QStringLiteral("A&pri")}));
    // Menu order would leave "a" without one; serving it first gives one to each.
    EXPECT_EQ(AutoMnemonics({QStringLiteral("ab"), QStringLiteral("a"), QStringLiteral("&c")}),
              (QStringList {QStringLiteral("a&b"), QStringLiteral("&a"), QStringLiteral("&c")}));
    // Nothing left to give: the earliest best attempt is kept.
    EXPECT_EQ(AutoMnemonics({QStringLiteral("&x"), QStringLiteral("x"), QStringLiteral("!")}),
              (QStringList {QStringLiteral("&x"), QStringLiteral("x"), QStringLiteral("!")}));

    using Lines = std::vector<bool>;
    EXPECT_EQ(ReducedLines({true, false, true, true, false, true}), (Lines {false, true, false, true, true, false}));
    EXPECT_EQ(ReducedLines({true, true}), (Lines {false, false}));

    TBarPopupMenu menu;
    QAction* lead = menu.addSeparator();
    QAction* item = menu.addAction(QStringLiteral("Apri"));
    QAction* hidden = menu.addAction(QStringLiteral("&Apri"));
    hidden->setVisible(false);
    QAction* trail = menu.addSeparator();
    menu.popup(QPoint(10, 10));
    QApplication::processEvents();
    EXPECT_FALSE(lead->isVisible());
    EXPECT_FALSE(trail->isVisible());
    EXPECT_EQ(item->text(), QStringLiteral("&Apri")) << "a hidden item takes no mnemonic";
    menu.close();
    // A line hidden by the rule comes back when an item follows it again.
    menu.addAction(QStringLiteral("Chiudi"));
    menu.popup(QPoint(10, 10));
    QApplication::processEvents();
    EXPECT_TRUE(trail->isVisible());
    EXPECT_FALSE(lead->isVisible());
    menu.close();
}

TEST(BarPopupMenuTest, PartsNeedTheirMenuAndGradientColoursHaveTwoIndices)
{
    try {
        TBar orphan(nullptr);
        FAIL() << "a bar without its menu was created";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Tried to create TBar with no owner.");
    }
    TBarPopupMenu menu;
    menu.Bar().SetGradientColor(1, Qt::red);
    EXPECT_EQ(menu.Bar().GradientColor(1), QColor(Qt::red));
    try {
        menu.Separators().GradientColor(2);
        FAIL() << "index 2 was accepted";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Invalid property index 2.");
    }
    EXPECT_EQ(RoundHalfEven(4.5), 4);
    EXPECT_EQ(RoundHalfEven(5.5), 6);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(3.2), 3);
}

} // namespace
