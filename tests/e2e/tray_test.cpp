// The real program beside a real notification area: its icon, the banner menu it opens, a tray host that dies
// and comes back, minimising to the tray, a tray that draws the menu itself, and a desktop without one.
#include "tests/e2e/desktop_session.h"
#include "tests/support/temp_folder.h"

#include <QColor>

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TrayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool", "xwininfo", "xprop", "import", "openbox", "trayer"})
            if (!CommandAvailable(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
        session = std::make_unique<DesktopSession>(1024, 768);
        if (!session->Started())
            GTEST_SKIP() << "Xvfb did not start";
        if (!session->StartWindowManager())
            GTEST_SKIP() << "openbox did not take the screen";
        const fs::path program(CORVANE_PROGRAM_DIR);
        fs::copy_file(program / "corvane", folder.File("corvane"));
        folder.MakeFolder("list");
        folder.Write("list/loopback.cvr", "127.0.0.1\r\n1\r\n");
    }

    void TearDown() override
    {
        if (session)
            session->StopProgram();
    }

    std::string start()
    {
        session->StartProgram(folder.File("corvane"), folder.Path());
        const auto window = session->WaitForWindow("Corvane");
        if (!window)
            ADD_FAILURE() << "the gadget did not appear";
        std::this_thread::sleep_for(500ms);
        return window.value_or(std::string());
    }

    // The program's window docked inside the notification area, if there is one.
    std::optional<std::string> dockedIcon() const
    {
        const auto tray = session->TrayWindow();
        if (!tray)
            return std::nullopt;
        const auto tree = session->Tool({"xwininfo", "-tree", "-id", *tray});
        const std::regex docked(R"((0x[0-9a-f]+) .*\("corvane" "Corvane"\))");
        std::smatch match;
        if (!std::regex_search(tree.output, match, docked))
            return std::nullopt;
        return match[1].str();
    }

    std::optional<std::string> waitForIcon(bool present) const
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline) {
            const auto icon = dockedIcon();
            if (icon.has_value() == present)
                return icon;
            std::this_thread::sleep_for(100ms);
        }
        return dockedIcon();
    }

    void rightClick(const QRect& on)
    {
        session->Tool(
            {"xdotool", "mousemove", std::to_string(on.center().x()), std::to_string(on.center().y()), "click", "3"});
        std::this_thread::sleep_for(600ms);
    }

    // Visible windows of the program other than `except`.
    std::vector<std::string> otherWindows(const std::vector<std::string>& except) const
    {
        const auto result = session->Tool({"xdotool", "search", "--onlyvisible", "--class", "corvane"});
        std::vector<std::string> windows;
        std::istringstream lines(result.output);
        for (std::string id; lines >> id;)
            if (std::find(except.begin(), except.end(), id) == except.end())
                windows.push_back(id);
        return windows;
    }

    bool inTaskbar(const std::string& window) const
    {
        const auto list = session->Tool({"xprop", "-root", "_NET_CLIENT_LIST"}).output;
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%lx", std::stoul(window));
        return list.find(hex) != std::string::npos;
    }

    static std::string decimal(const std::string& hex) { return std::to_string(std::stoul(hex, nullptr, 16)); }

    TempFolder folder;
    std::unique_ptr<DesktopSession> session;
};

TEST_F(TrayTest, IconOpensTheBannerMenuComesBackAfterATrayRestartAndGoesAtExit)
{
    ASSERT_TRUE(session->StartTray());
    const std::string gadget = start();
    ASSERT_FALSE(gadget.empty());
    auto icon = waitForIcon(true);
    ASSERT_TRUE(icon) << "no icon docked in the notification area";
    const QRect at = session->WindowGeometry(*icon).value_or(QRect());
    const QRect tray = session->WindowGeometry(*session->TrayWindow()).value_or(QRect());
    EXPECT_TRUE(tray.contains(at)) << "the icon sits in the tray";

    // The emblem is drawn there: brown fur, unlike the tray's plain ground.
    const QImage shot = session->Screenshot();
    int fur = 0;
    for (int y = at.top(); y <= at.bottom(); ++y)
        for (int x = at.left(); x <= at.right(); ++x) {
            const QColor c(shot.pixel(x, y));
            fur += c.red() > 140 && c.green() > 80 && c.green() < c.red() - 30 && c.blue() < c.green();
        }
    EXPECT_GT(fur, 10);

    rightClick(at);
    const auto menus = otherWindows({gadget, decimal(*icon)});
    ASSERT_EQ(menus.size(), 1u) << "a right click opens one menu";
    const QRect menu = session->WindowGeometry(menus.front()).value_or(QRect());
    EXPECT_TRUE(QRect(0, 0, 1024, 768).contains(menu)) << "the menu opened in the corner stays on the screen";
    const QImage opened = session->Screenshot();
    const QPoint bannerTop(menu.right() - 3 - 31, menu.top() + 3);
    EXPECT_EQ(QColor(opened.pixel(bannerTop)), QColor(0x00, 0x00, 0x80)) << "the banner's top row";
    EXPECT_EQ(QColor(opened.pixel(bannerTop - QPoint(1, 0))), QColor(opened.pixel(menu.left() + 4, menu.top() + 2)))
        << "the gap beside it is menu background";
    session->Tool({"xdotool", "key", "Escape"});
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(otherWindows({gadget, decimal(*icon)}).empty());

    session->StopTray();
    EXPECT_TRUE(session->ProgramRunning()) << "the program outlives its tray";
    ASSERT_TRUE(session->StartTray());
    icon = waitForIcon(true);
    ASSERT_TRUE(icon) << "the icon did not come back to the new tray";

    rightClick(session->WindowGeometry(*icon).value_or(QRect()));
    session->Tool({"xdotool", "key", "e"}); // "&Esci"
    int status = -1;
    ASSERT_TRUE(session->WaitForExit(10000, &status));
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(waitForIcon(false)) << "the icon left the tray with the program";
    EXPECT_TRUE(session->TrayOwned());
}

TEST_F(TrayTest, MinimisingHidesTheGadgetAndItsTaskbarEntryAndTheTrayMenuBringsItBack)
{
    ASSERT_TRUE(session->StartTray());
    const std::string gadget = start();
    ASSERT_FALSE(gadget.empty());
    const auto icon = waitForIcon(true);
    ASSERT_TRUE(icon);
    const QRect before = session->WindowGeometry(gadget).value_or(QRect());
    ASSERT_TRUE(inTaskbar(gadget));

    session->Tool({"xdotool", "windowminimize", gadget});
    std::this_thread::sleep_for(800ms);
    EXPECT_TRUE(session->VisibleWindows("^Corvane$").empty());
    EXPECT_FALSE(inTaskbar(gadget)) << "the taskbar entry went with it";

    rightClick(session->WindowGeometry(*icon).value_or(QRect()));
    session->Tool({"xdotool", "key", "v"}); // "&Visualizza/Nascondi"
    const auto back = session->WaitForWindow("Corvane", 5000);
    ASSERT_TRUE(back) << "the tray menu shows the gadget again";
    EXPECT_EQ(session->WindowGeometry(*back).value_or(QRect()).topLeft(), before.topLeft());
}

TEST_F(TrayTest, OnAStatusNotifierTrayTheRightClickGivesTheMainMenuAndTheGadgetComesBackWhenTheTrayGoes)
{
    if (!session->StartStatusTray())
        GTEST_SKIP() << "xfce4-panel did not start its status tray on a session bus (scripts/setup installs them)";
    const std::string gadget = start();
    ASSERT_FALSE(gadget.empty());
    // The tray draws the icon itself: it is found by its fur, in the panel.
    const QRect panel = session->StatusTrayGeometry().value_or(QRect());
    std::optional<QPoint> icon;
    for (int tries = 0; tries < 50 && !icon; ++tries, std::this_thread::sleep_for(100ms)) {
        const QImage shot = session->Screenshot();
        for (int x = panel.left(); x <= panel.right() && !icon; ++x)
            for (int y = panel.top(); y <= panel.bottom() && !icon; ++y) {
                const QColor c(shot.pixel(x, y));
                if (c.red() > 140 && c.green() > 80 && c.green() < c.red() - 30 && c.blue() < c.green())
                    icon = QPoint(x + 2, y);
            }
    }
    ASSERT_TRUE(icon) << "no icon in the status tray";

    session->Tool({"xdotool", "windowminimize", gadget});
    std::this_thread::sleep_for(800ms);
    ASSERT_TRUE(session->VisibleWindows("^Corvane$").empty()) << "minimised, the gadget went to the tray";
    rightClick(QRect(*icon, QSize(1, 1)));
    session->Tool({"xdotool", "key", "v"}); // "&Visualizza/Nascondi", in the menu the tray draws
    ASSERT_TRUE(session->WaitForWindow("Corvane", 5000)) << "the tray's menu brings the gadget back";

    rightClick(QRect(*icon, QSize(1, 1)));
    session->Tool({"xdotool", "key", "v"});
    std::this_thread::sleep_for(800ms);
    ASSERT_TRUE(session->VisibleWindows("^Corvane$").empty()) << "and hides it";
    session->StopStatusTray();
    EXPECT_TRUE(session->WaitForWindow("Corvane", 5000)) << "the tray went, so the gadget came back";
}

TEST_F(TrayTest, WithoutATrayTheProgramRunsOnQuietlyAndMinimisingKeepsItsTaskbarEntry)
{
    const std::string gadget = start();
    ASSERT_FALSE(gadget.empty());
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(session->ProgramRunning());
    EXPECT_TRUE(otherWindows({gadget}).empty()) << "no box or stray window appears";

    session->Tool({"xdotool", "windowminimize", gadget});
    std::this_thread::sleep_for(800ms);
    EXPECT_TRUE(inTaskbar(gadget)) << "with nothing in a tray to bring it back, it stays a taskbar entry";
    EXPECT_TRUE(session->ProgramRunning());
}

TEST_F(TrayTest, ScreenshotOfTheBannerMenuOverAColouredDesktop)
{
    if (!CommandAvailable("convert") || !CommandAvailable("display"))
        GTEST_SKIP() << "ImageMagick is not installed";
    RunCommand({"convert", "-size", "1024x768", "gradient:#5b8dd6-#2f6b4f", folder.File("desktop.png")});
    session->SetBackground(folder.File("desktop.png"));
    folder.Write("list/localhost.cvr", "localhost\r\n1\r\n");
    folder.Write("list/second loopback.cvr", "127.0.0.2\r\n1\r\n");
    ASSERT_TRUE(session->StartTray());
    const std::string gadget = start();
    ASSERT_FALSE(gadget.empty());
    const QRect at = session->WindowGeometry(gadget).value_or(QRect());
    const QRect dog(at.topLeft() + QPoint(70, 290), QSize(16, 12));
    rightClick(dog);
    session->Tool({"xdotool", "key", "p"}); // "Avvia i &processi immediatamente", so the list shows answers
    std::this_thread::sleep_for(2500ms);
    rightClick(dog);
    const std::string target = std::string(CORVANE_PROGRAM_DIR) + "/../menu-screenshot.png";
    RunCommand({"import", "-window", "root", "-crop", "420x500+550+240", "+repage", target},
               {{"DISPLAY", session->Display()}});
    EXPECT_TRUE(fs::exists(target));
    session->Tool({"xdotool", "key", "Escape"});
}

} // namespace
