#include "platform/exception.h"
#include "tests/support/temp_folder.h"
#include "ui/form_style.h"
#include "ui/image_list.h"
#include "ui/image_list_box.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

const QColor Red(255, 0, 0);

// A list set up as the main window sets it up, with a plain red square as every image.
class ImageListBoxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder.Write("red.svg",
                     "<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'>"
                     "<rect width='16' height='16' fill='#ff0000'/></svg>");
        for (int i = 0; i < 4; ++i)
            images.AddSvg(QString::fromStdString(folder.File("red.svg")));
        box.setFont(FormFont());
        box.SetImages(&images);
        box.SetItemHeight(17);
        box.resize(121, 81);
        QPalette p = box.palette();
        p.setColor(QPalette::Base, Qt::white);
        p.setColor(QPalette::Text, Qt::black);
        p.setColor(QPalette::Highlight, QColor(0, 0, 128));
        p.setColor(QPalette::HighlightedText, Qt::white);
        box.setPalette(p);
        box.show();
    }

    void add(const QString& text, int imageIndex = 0)
    {
        box.Items().Add(text);
        box.Items()[box.Items().Count() - 1].SetImageIndex(imageIndex);
    }

    QImage render()
    {
        QImage image(box.viewport()->size(), QImage::Format_RGB32);
        image.fill(Qt::magenta);
        box.viewport()->render(&image);
        return image;
    }

    static bool isInk(QRgb c) { return qGray(c) < 128; }

    // The columns of row `row` between y0 and y1 that hold text ink, as [first, last]; -1 when none.
    static std::pair<int, int> inkColumns(const QImage& image, int x0, int y0, int y1)
    {
        int first = -1;
        int last = -1;
        for (int x = x0; x < image.width(); ++x)
            for (int y = y0; y < y1; ++y)
                if (isInk(image.pixel(x, y))) {
                    if (first < 0)
                        first = x;
                    last = x;
                }
        return {first, last};
    }

    TempFolder folder;
    TImageList images {16, 16};
    TImageListBox box;
};

TEST_F(ImageListBoxTest, RowsAreSeventeenPixelsAndNeverLowered)
{
    EXPECT_EQ(box.ItemHeight(), 17);
    box.SetItemHeight(25);
    QFont small = box.font();
    small.setPixelSize(6);
    box.setFont(small);
    EXPECT_EQ(box.ItemHeight(), 25);
}

TEST_F(ImageListBoxTest, ImageAtTwoAndTextAtTwentyFour)
{
    add(QStringLiteral("router.cvr"));
    add(QStringLiteral("gateway.cvr"));
    const QImage image = render();
    for (int row = 0; row < 2; ++row) {
        const int top = row * 17;
        EXPECT_EQ(QColor(image.pixel(1, top + 8)), QColor(Qt::white));
        EXPECT_EQ(QColor(image.pixel(2, top)), Red);
        EXPECT_EQ(QColor(image.pixel(17, top + 15)), Red);
        EXPECT_EQ(QColor(image.pixel(18, top + 8)), QColor(Qt::white));
        EXPECT_EQ(QColor(image.pixel(2, top + 16)), QColor(Qt::white)) << "the 17th line of a row is background";
        const auto [first, last] = inkColumns(image, 18, top, top + 17);
        EXPECT_GE(first, 24);
        EXPECT_LE(first, 25);
        EXPECT_GT(last, first);
    }
}

TEST_F(ImageListBoxTest, SelectedRowHighlightsOnlyTheBoxAroundItsTextWithADottedFocusFrame)
{
    add(QStringLiteral("a.cvr"));
    add(QStringLiteral("router.cvr"));
    box.SetItemIndex(1);
    const QImage image = render();
    const int top = 17;
    const int right = 24 + QFontMetrics(box.font()).horizontalAdvance(QStringLiteral("router.cvr")) + 4 - 1;
    const QColor highlight(0, 0, 128);
    EXPECT_EQ(QColor(image.pixel(10, top + 8)), Red) << "the image is not highlighted";
    EXPECT_EQ(QColor(image.pixel(21, top + 8)), QColor(Qt::white));
    EXPECT_EQ(QColor(image.pixel(23, top + 8)), highlight);
    EXPECT_EQ(QColor(image.pixel(right - 1, top + 8)), highlight);
    EXPECT_EQ(QColor(image.pixel(right + 1, top + 8)), QColor(Qt::white));
    EXPECT_EQ(QColor(image.pixel(30, top)), QColor(Qt::white)) << "the box is one pixel inside the row";
    EXPECT_EQ(QColor(image.pixel(30, top + 16)), QColor(Qt::white));
    // The frame alternates highlight pixels and inverted ones along the box's edge.
    int dots = 0;
    int plain = 0;
    for (int x = 22; x <= right; ++x) {
        const QColor c(image.pixel(x, top + 1));
        dots += c == QColor(255, 255, 127);
        plain += c == highlight;
    }
    EXPECT_GT(dots, 5);
    EXPECT_GT(plain, 5);
    EXPECT_LE(std::abs(dots - plain), 1);
    // Unselected rows have no box.
    EXPECT_EQ(QColor(image.pixel(23, 8)), QColor(Qt::white));
}

TEST_F(ImageListBoxTest, FocusFrameFollowsTheSelectionNotTheKeyboardFocus)
{
    add(QStringLiteral("a.cvr"));
    box.SetItemIndex(0);
    box.clearFocus();
    EXPECT_EQ(QColor(render().pixel(22, 1)), QColor(255, 255, 127));
}

TEST_F(ImageListBoxTest, EmptyListDrawsOnlyTheBackground)
{
    box.setFocus();
    const QImage image = render();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(QColor(image.pixel(x, y)), QColor(Qt::white)) << x << "," << y;
}

TEST_F(ImageListBoxTest, SelectedEmptyTextHighlightsToTheRightEdge)
{
    add(QString());
    box.SetItemIndex(0);
    const QImage image = render();
    const int right = box.viewport()->width() - 1;
    EXPECT_EQ(QColor(image.pixel(23, 8)), QColor(Qt::white));
    EXPECT_EQ(QColor(image.pixel(25, 8)), QColor(0, 0, 128));
    EXPECT_EQ(QColor(image.pixel(right - 1, 8)), QColor(0, 0, 128));
    EXPECT_EQ(QColor(image.pixel(24, 0)), QColor(255, 255, 127)) << "focus frame at the area's corner";
}

TEST_F(ImageListBoxTest, AmpersandsAreShownAndLongNamesAreCutNotShortened)
{
    add(QStringLiteral("&&&&"));
    add(QStringLiteral("wwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwww.cvr"));
    const QImage image = render();
    const QFontMetrics metrics(box.font());
    const auto [first, last] = inkColumns(image, 18, 0, 17);
    // As a mnemonic "&&&&" would show only two ampersands.
    EXPECT_GT(last - first, metrics.horizontalAdvance(QStringLiteral("&&")) + 2);
    const auto [longFirst, longLast] = inkColumns(image, 18, 17, 34);
    EXPECT_GE(longLast, image.width() - 3) << "the name runs to the edge with no ellipsis";
    (void)longFirst;
}

TEST_F(ImageListBoxTest, RepaintIsRequestedOnlyForRealChanges)
{
    box.Items().Clear();
    const int before = box.RepaintRequests();
    box.Items().Clear();
    EXPECT_EQ(box.RepaintRequests(), before) << "clearing an empty list";
    add(QStringLiteral("a.cvr"), 0);
    const int afterAdd = box.RepaintRequests();
    box.Items()[0].SetImageIndex(0);
    box.Items()[0].SetText(QStringLiteral("a.cvr"));
    EXPECT_EQ(box.RepaintRequests(), afterAdd);
    box.Items()[0].SetImageIndex(3);
    EXPECT_EQ(box.RepaintRequests(), afterAdd + 1);
    EXPECT_EQ(box.Items()[0].ImageIndex(), 3);
}

TEST_F(ImageListBoxTest, OutOfRangeRowsRaiseTheListIndexError)
{
    add(QStringLiteral("a.cvr"));
    try {
        box.Items()[5].SetImageIndex(1);
        FAIL();
    } catch (const EListIndexError& error) {
        EXPECT_EQ(error.Message(), "List index out of bounds (5)");
    }
    EXPECT_THROW(box.Items()[-1], EListIndexError);
}

TEST_F(ImageListBoxTest, ClicksSelectAndDoubleClickAndMenuReachTheOwner)
{
    for (int i = 0; i < 8; ++i)
        add(QStringLiteral("r%1.cvr").arg(i));
    box.show();
    EXPECT_EQ(box.ItemIndex(), -1);
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, QPoint(40, 17 + 5));
    EXPECT_EQ(box.ItemIndex(), 1);
    int doubleClicks = 0;
    box.OnDblClick = [&] { ++doubleClicks; };
    QTest::mouseDClick(box.viewport(), Qt::LeftButton, {}, QPoint(40, 5));
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_EQ(box.ItemIndex(), 0);

    QMenu menu;
    menu.addAction(QStringLiteral("x"));
    box.SetPopupMenu(&menu);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(40, 5), box.viewport()->mapToGlobal(QPoint(40, 5)));
    QCoreApplication::sendEvent(box.viewport(), &event);
    EXPECT_TRUE(menu.isVisible());
    menu.hide();

    // Rows beyond the fourth scroll into view with the keyboard; the last one sits whole under three others.
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_End);
    EXPECT_EQ(box.ItemIndex(), 7);
    EXPECT_EQ(box.TopIndex(), 4);
    const QImage image = render();
    EXPECT_EQ(QColor(image.pixel(10, 3 * 17 + 8)), Red);
}

TEST_F(ImageListBoxTest, ScrollsByWholeRowsAsAListBoxDoes)
{
    for (int i = 0; i < 50; ++i)
        add(QStringLiteral("r%1.cvr").arg(i));
    QScrollBar* bar = box.verticalScrollBar();
    EXPECT_EQ(bar->maximum(), 50 - 4) << "the last row ends whole at the bottom of four";
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd); // an arrow click
    EXPECT_EQ(box.TopIndex(), 1);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd); // a click beside the thumb
    EXPECT_EQ(box.TopIndex(), 5);
    const QPoint at(40, 20);
    QWheelEvent notch(at, box.viewport()->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase,
                      false);
    QCoreApplication::sendEvent(box.viewport(), &notch);
    EXPECT_EQ(box.TopIndex(), 5 + QApplication::wheelScrollLines());
    // A click lands on the row drawn under it, the top one being a whole row.
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, QPoint(40, 17 + 5));
    EXPECT_EQ(box.ItemIndex(), box.TopIndex() + 1);
}

TEST_F(ImageListBoxTest, ClearDropsTheSelection)
{
    add(QStringLiteral("a.cvr"));
    box.SetItemIndex(0);
    box.Items().Clear();
    EXPECT_EQ(box.ItemIndex(), -1);
    EXPECT_EQ(box.Items().Count(), 0);
}

// The tip's hook: which rows it is asked for as the pointer rests, moves on and goes, recorded in order.
class ImageListBoxTipTest : public ImageListBoxTest
{
protected:
    void SetUp() override
    {
        ImageListBoxTest::SetUp();
        for (int i = 0; i < 3; ++i)
            add(QStringLiteral("r%1.cvr").arg(i));
        box.SetTipDelay(20);
        box.OnRowTip = [this](int row, const QRect&) { asked.push_back(row); };
    }

    // Moves the pointer onto row `row` of the viewport and waits for the hook.
    void restOn(int row)
    {
        // Two moves: a move to where the pointer already is is no move at all.
        QTest::mouseMove(box.viewport(), QPoint(20, row * 17 + 8));
        QTest::mouseMove(box.viewport(), QPoint(40, row * 17 + 8));
        EXPECT_TRUE(waitFor([&] { return box.TipRow() == row; }));
    }

    static bool waitFor(const std::function<bool()>& done) { return QTest::qWaitFor(done, 3000); }

    std::vector<int> asked;
};

TEST_F(ImageListBoxTipTest, TheTipFollowsThePointerGoesOnAnyActionAndNeverComesOverAMenu)
{
    const QImage before = render();
    restOn(1);
    EXPECT_EQ(render(), before) << "a tip changes neither the selection nor the rows";
    // The next row's tip follows without a new wait; within a row nothing is asked.
    box.SetTipDelay(60000);
    QTest::mouseMove(box.viewport(), QPoint(60, 17 + 3));
    QTest::mouseMove(box.viewport(), QPoint(60, 5));
    EXPECT_EQ(asked, std::vector<int>({1, 0}));
    box.SetTipDelay(20);

    QMenu menu;
    menu.addAction(QStringLiteral("x"));
    box.SetPopupMenu(&menu);
    const QPoint at(40, 8);
    const std::vector<std::function<void()>> ends {
        [&] { QTest::mouseMove(box.viewport(), QPoint(60, 3 * 17 + 5)); }, // below the last row
        [&] { QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, at); },
        [&] { QTest::keyClick(&box, Qt::Key_Down); },
        [&] {
            QWheelEvent notch(at, box.viewport()->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, {},
                              Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(box.viewport(), &notch);
        },
        [&] {
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(box.viewport(), &leave);
        },
        [&] { box.hide(); },
        [&] {
            QContextMenuEvent event(QContextMenuEvent::Keyboard, at, box.viewport()->mapToGlobal(at));
            QCoreApplication::sendEvent(box.viewport(), &event);
            menu.hide();
        },
    };
    for (size_t i = 0; i < ends.size(); ++i) {
        box.show();
        restOn(0);
        ends[i]();
        EXPECT_EQ(box.TipRow(), -1) << "way " << i;
        EXPECT_EQ(asked.back(), -1) << "way " << i;
    }
    // The pointer comes to rest, then a menu opens before the wait is over: no tip over the menu.
    asked.clear();
    box.SetTipDelay(100);
    QTest::mouseMove(box.viewport(), QPoint(60, 25));
    menu.popup(box.viewport()->mapToGlobal(at));
    QTest::qWait(300);
    EXPECT_TRUE(asked.empty());
    menu.hide();
}

} // namespace
