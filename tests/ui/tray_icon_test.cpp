// The tray icon's choices: which picture, which tooltip, what each click does, and minimising without a tray.
#include "ui/image_list.h"
#include "ui/tray_icon.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

class TrayIconTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : {"idle", "up", "error", "busy", "spare", "emblem"})
            images.AddSvg(QStringLiteral(":/status-%1.svg").arg(QLatin1String(name)));
        tray = new TTrayIcon(&window);
        tray->SetPopupMenu(&menu);
        menu.addAction(QStringLiteral("&Esci"));
    }
    void TearDown() override { menu.close(); }

    void click(QSystemTrayIcon::ActivationReason reason)
    {
        Q_EMIT tray->Platform().activated(reason);
        QApplication::processEvents();
    }

    TImageList images {16, 16};
    QWidget window;
    QMenu menu;
    TTrayIcon* tray = nullptr;
};

TEST_F(TrayIconTest, ShowsImageFiveWithTheShortHint)
{
    tray->SetIcons(&images, 5);
    tray->SetHint(QStringLiteral("Corvane"));
    tray->SetActive(true);
    EXPECT_EQ(tray->CurrentIcon().pixmap(16, 16).toImage(), images.Pixmap(5, 1.0).toImage());
    EXPECT_EQ(tray->Platform().toolTip(), QStringLiteral("Corvane"));
    EXPECT_TRUE(tray->Platform().isVisible());

    tray->SetHint(QStringLiteral("Corvane|the long one"));
    EXPECT_EQ(tray->Platform().toolTip(), QStringLiteral("Corvane"));
    EXPECT_EQ(TTrayIcon::ShortHint(QString(200, QLatin1Char('x'))).size(), 127);

    tray->SetIcons(&images, 6);
    EXPECT_EQ(tray->CurrentIcon().cacheKey(), QApplication::windowIcon().cacheKey()) << "past the list: the program's";
}

TEST_F(TrayIconTest, OnlyARightClickOpensTheMenuAtThePointer)
{
    tray->SetActive(true);
    for (const auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick}) {
        click(reason);
        EXPECT_FALSE(menu.isVisible()) << "reason " << reason;
    }
    QCursor::setPos(200, 150);
    click(QSystemTrayIcon::Context);
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(menu.pos(), QCursor::pos());
}

TEST_F(TrayIconTest, WithoutANotificationAreaMinimisingLeavesTheWindowReachable)
{
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "the offscreen platform has none";
    tray->SetActive(true);
    window.show();
    window.showMinimized();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_TRUE(window.isVisible()) << "nothing could bring it back from a tray that is not there";
}

} // namespace
