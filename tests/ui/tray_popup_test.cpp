// The sliding notices: where they stand, how they slide, how they stack, and what the mouse does to them.
#include "platform/shell_open.h"
#include "ui/mouse_label.h"
#include "ui/taskbar_geometry.h"
#include "ui/tray_popup.h"

#include <QApplication>
#include <QEnterEvent>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QRect Screen(0, 0, 1280, 1024);

class ShellRecorder final : public IShellOpener
{
public:
    void Open(const std::string& target) override { opened.push_back(target); }
    std::vector<std::string> opened;
};

class TrayPopUpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setWorkArea(QRect(0, 0, 1280, 1000));
        SetShellOpenerForTesting(shell);
        popup.Width = 200;
        popup.Height = 121;
        popup.URL = QStringLiteral("https://corvane.example.org/corvane.php");
    }
    void TearDown() override
    {
        SetDesktopAreaForTesting(std::nullopt);
        SetShellOpenerForTesting(nullptr);
    }

    static void setWorkArea(const QRect& work) { SetDesktopAreaForTesting(TDesktopArea {Screen, work}); }

    TfrmTrayPopUp* show()
    {
        const size_t before = popup.Windows().size();
        EXPECT_TRUE(popup.ShowPopUp());
        const auto windows = popup.Windows();
        return windows.size() > before ? windows.back() : nullptr;
    }

    // Runs a slide to its end and gives the sizes it went through.
    static std::vector<int> slide(TfrmTrayPopUp* window, QTimer* timer, void (TfrmTrayPopUp::*tick)())
    {
        std::vector<int> sizes;
        QPointer<TfrmTrayPopUp> alive(window);
        for (int i = 0; i < 100 && alive && timer->isActive(); ++i) {
            (window->*tick)();
            if (alive && !window->isHidden())
                sizes.push_back(window->Edge() == 0 || window->Edge() == 2 ? window->width() : window->height());
        }
        return sizes;
    }

    static void freeClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    QWidget owner;
    TTrayPopUp popup {owner};
    std::shared_ptr<ShellRecorder> shell = std::make_shared<ShellRecorder>();
};

TEST(TaskbarEdgeTest, ThePanelIsTheWidestStripTheWorkAreaLeaves)
{
    EXPECT_EQ(TaskbarEdge({Screen, Screen}), 3) << "no panel: the bottom corner";
    EXPECT_EQ(TaskbarEdge({Screen, QRect(0, 0, 1280, 994)}), 3);
    EXPECT_EQ(TaskbarEdge({Screen, QRect(0, 24, 1280, 1000)}), 1);
    EXPECT_EQ(TaskbarEdge({Screen, QRect(48, 0, 1232, 1024)}), 0);
    EXPECT_EQ(TaskbarEdge({Screen, QRect(0, 0, 1232, 1024)}), 2);
    EXPECT_EQ(TaskbarEdge({Screen, QRect(0, 24, 1280, 970)}), 3) << "a thin top bar and a dock at the bottom";
}

TEST(TrayPopUpPaintTest, GradientAndStripColours)
{
    const QColor white(255, 255, 255);
    const QColor orange(255, 128, 0);
    EXPECT_EQ(GradientColorAt(white, orange, 0, 117), white);
    EXPECT_EQ(GradientColorAt(white, orange, 117, 117), orange);
    EXPECT_EQ(GradientColorAt(white, orange, 1, 2), QColor(255, 191, 127)) << "halves to the even neighbour";
    EXPECT_EQ(GradientColorAt(QColor(153, 204, 255), white, 59, 117), QColor(204, 230, 255));

    const QImage strip = StripBitmap();
    ASSERT_EQ(strip.size(), QSize(138, 3));
    EXPECT_EQ(strip.pixel(0, 0), qRgb(255, 255, 51));
    EXPECT_EQ(strip.pixel(71, 2), qRgb(255, 204, 51));
    EXPECT_EQ(strip.pixel(72, 1), qRgb(255, 0, 0));
    EXPECT_EQ(strip.pixel(115, 2), qRgb(43, 41, 144));
    EXPECT_EQ(strip.pixel(137, 1), qRgb(115, 188, 136));
}

TEST_F(TrayPopUpTest, ANoticeSlidesUpFromTheBottomCornerStaysAndSlidesBack)
{
    TfrmTrayPopUp* window = show();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_EQ(window->windowType(), Qt::ToolTip);
    EXPECT_TRUE(window->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(window->geometry(), QRect(1064, 877 + 121, 200, 1));
    EXPECT_TRUE(window->tmrScroll->isActive());
    EXPECT_EQ(window->tmrScroll->interval(), 25);

    const std::vector<int> in = slide(window, window->tmrScroll, &TfrmTrayPopUp::tmrScrollTimer);
    EXPECT_EQ(in, (std::vector<int> {10, 19, 28, 37, 46, 55, 64, 73, 82, 91, 100, 109, 118, 121}));
    EXPECT_EQ(window->geometry(), QRect(1064, 877, 200, 121));
    EXPECT_TRUE(window->tmrExit->isActive());
    EXPECT_EQ(window->tmrExit->interval(), 10000);

    window->tmrExitTimer();
    EXPECT_FALSE(window->tmrExit->isActive());
    const std::vector<int> out = slide(window, window->tmrScrollDown, &TfrmTrayPopUp::tmrScrollDownTimer);
    EXPECT_EQ(out, (std::vector<int> {112, 103, 94, 85, 76, 67, 58, 49, 40, 31, 22, 13, 4}));
    EXPECT_EQ(popup.PopupCount(), 0);
    EXPECT_TRUE(popup.Windows().empty());
    freeClosed();
}

TEST_F(TrayPopUpTest, NoticesStackUntilTheScreenIsFullAndRestartWhenAllAreGone)
{
    setWorkArea(QRect(0, 0, 1280, 400));
    TfrmTrayPopUp* first = show();
    TfrmTrayPopUp* second = show();
    TfrmTrayPopUp* third = show();
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(second->CreationOffset, 123);
    EXPECT_EQ(third->CreationOffset, 246);
    EXPECT_EQ(second->geometry().top(), 400 - 2 - 121 - 123 + 121) << "its slide starts below its place";
    slide(third, third->tmrScroll, &TfrmTrayPopUp::tmrScrollTimer);
    EXPECT_EQ(third->geometry(), QRect(1064, 400 - 2 - 121 - 246, 200, 121));
    EXPECT_EQ(popup.NextPopupOffset(), 369);
    // One more would stand above the screen's top.
    EXPECT_FALSE(popup.ShowPopUp());
    EXPECT_EQ(popup.PopupCount(), 3);

    for (TfrmTrayPopUp* window : {first, second, third})
        window->CloseNotice();
    EXPECT_EQ(popup.PopupCount(), 0);
    EXPECT_EQ(popup.NextPopupOffset(), 369) << "not lowered as notices go";
    TfrmTrayPopUp* again = show();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->CreationOffset, 0);
    freeClosed();
}

TEST_F(TrayPopUpTest, EachPanelEdgeHasItsCornerAndAMovedPanelRestartsTheStack)
{
    show();
    show();
    EXPECT_EQ(popup.PopupCount(), 2);

    setWorkArea(QRect(0, 24, 1280, 1000));
    TfrmTrayPopUp* top = show();
    EXPECT_EQ(popup.PopupCount(), 1) << "the panel moved";
    EXPECT_EQ(top->CreationOffset, 0);
    EXPECT_EQ(top->geometry(), QRect(1064, 26, 200, 1));
    EXPECT_EQ(slide(top, top->tmrScroll, &TfrmTrayPopUp::tmrScrollTimer).back(), 121);
    EXPECT_EQ(top->geometry(), QRect(1064, 26, 200, 121));

    setWorkArea(QRect(48, 0, 1232, 1024));
    TfrmTrayPopUp* left = show();
    EXPECT_EQ(left->geometry(), QRect(64, 1024 - 2 - 121, 1, 121));
    EXPECT_EQ(slide(left, left->tmrScroll, &TfrmTrayPopUp::tmrScrollTimer).size(), 23u);
    EXPECT_EQ(left->geometry(), QRect(64, 901, 200, 121));

    setWorkArea(QRect(0, 0, 1232, 1024));
    TfrmTrayPopUp* right = show();
    EXPECT_EQ(right->geometry(), QRect(1232 - 16, 901, 1, 121));
    slide(right, right->tmrScroll, &TfrmTrayPopUp::tmrScrollTimer);
    EXPECT_EQ(right->geometry(), QRect(1232 - 216, 901, 200, 121));
    right->tmrExitTimer();
    right->tmrScrollDownTimer();
    EXPECT_EQ(right->geometry(), QRect(1232 - 216 + 9, 901, 191, 121));
    freeClosed();
}

TEST_F(TrayPopUpTest, TheTextIsALinkThatOpensThePageAndClosesTheNotice)
{
    popup.Text = QStringLiteral("Uno & due\r\nMaggiori info");
    popup.HoverFont.Color = Qt::red;
    std::vector<QString> clicked;
    popup.OnURLClick = [&](QObject& sender, const QString& url) {
        EXPECT_TRUE(dynamic_cast<TfrmTrayPopUp*>(&sender));
        clicked.push_back(url);
    };
    TfrmTrayPopUp* window = show();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->lblText->text(), QStringLiteral("Uno & due\nMaggiori info"));
    EXPECT_EQ(window->lblText->width(), 200 - 15);
    EXPECT_EQ(window->lblText->x(), 8);
    EXPECT_EQ(window->lblTitle->x(), 8) << "no icon";
    const int oneLine = window->lblText->height();

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(window->lblText, &enter);
    EXPECT_TRUE(window->lblText->font().underline());
    EXPECT_EQ(window->lblText->palette().color(QPalette::WindowText), QColor(Qt::red));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(window->lblText, &leave);
    EXPECT_FALSE(window->lblText->font().underline());
    EXPECT_EQ(window->lblText->height(), oneLine);

    // A click while the notice still slides in.
    QTest::mouseClick(window->lblText, Qt::LeftButton);
    EXPECT_EQ(clicked, std::vector<QString> {popup.URL});
    EXPECT_EQ(shell->opened, std::vector<std::string> {"https://corvane.example.org/corvane.php"});
    EXPECT_EQ(popup.PopupCount(), 0);
    EXPECT_TRUE(popup.Windows().empty());
    freeClosed();
}

TEST_F(TrayPopUpTest, WithoutTheLinkOrOnTheBackgroundAClickOnlyReportsItself)
{
    popup.Options = TTrayPopupOptions(tpAutoOpenURL) | tpCascadePopups;
    popup.IconBitmap = QImage(48, 48, QImage::Format_RGB888);
    popup.IconBitmap.fill(QColor(255, 255, 0));
    std::vector<QObject*> senders;
    popup.OnClick = [&](QObject& sender) { senders.push_back(&sender); };
    TfrmTrayPopUp* window = show();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->geometry(), QRect(1064, 877, 200, 121)) << "full size at once without scrolling";
    EXPECT_TRUE(window->tmrExit->isActive());
    EXPECT_EQ(window->lblTitle->x(), 48);

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(window->lblText, &enter);
    EXPECT_FALSE(window->lblText->font().underline());
    QTest::mouseClick(window->lblText, Qt::LeftButton);
    EXPECT_EQ(senders, std::vector<QObject*> {window});
    EXPECT_TRUE(shell->opened.empty());

    TfrmTrayPopUp* second = show();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->CreationOffset, 0) << "the first one has gone";
    QTest::mouseClick(second, Qt::RightButton, {}, QPoint(190, 110));
    EXPECT_EQ(senders.back(), &popup);
    EXPECT_EQ(popup.PopupCount(), 0);
    freeClosed();
}

} // namespace
