// The real program on a private X server: start-up, first-start files, dragging, menus, exit and return.
#include "tests/e2e/desktop_session.h"
#include "tests/support/temp_folder.h"

#include <QColor>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr int ScreenWidth = 1280;
constexpr int ScreenHeight = 1024;

class GadgetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool", "xwininfo", "import"})
            if (!CommandAvailable(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
        session = std::make_unique<DesktopSession>(ScreenWidth, ScreenHeight);
        if (!session->Started())
            GTEST_SKIP() << "Xvfb did not start";
        // A program folder of its own: the executable, the alarm and two resources on loopback.
        const fs::path program(CORVANE_PROGRAM_DIR);
        fs::copy_file(program / "corvane", folder.File("corvane"));
        if (fs::exists(program / "dog.wav"))
            fs::copy_file(program / "dog.wav", folder.File("dog.wav"));
        folder.MakeFolder("list");
        folder.Write("list/localhost.cvr", "localhost\r\n1\r\n");
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
        // Let the first paint and the window shape arrive.
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        return window.value_or(std::string());
    }

    QRect geometry(const std::string& window) { return session->WindowGeometry(window).value_or(QRect()); }

    void click(const std::string& button, int x, int y)
    {
        session->Tool({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", button});
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }

    // The pointer stays on the screen, as a real one does; past the edge it stops at it.
    void drag(QPoint from, QPoint to)
    {
        to = QPoint(std::clamp(to.x(), 0, ScreenWidth - 1), std::clamp(to.y(), 0, ScreenHeight - 1));
        session->Tool({"xdotool", "mousemove", std::to_string(from.x()), std::to_string(from.y()), "mousedown", "1"});
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        session->Tool(
            {"xdotool", "mousemove", std::to_string((from.x() + to.x()) / 2), std::to_string((from.y() + to.y()) / 2)});
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        session->Tool({"xdotool", "mousemove", std::to_string(to.x()), std::to_string(to.y())});
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        session->Tool({"xdotool", "mouseup", "1"});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    // A point on the dog's body, well inside the shape.
    static QPoint dogPoint(const QRect& window) { return window.topLeft() + QPoint(78, 201 + 95); }

    size_t visibleProgramWindows()
    {
        return session->Tool({"xdotool", "search", "--onlyvisible", "--class", "corvane"}).output.size();
    }

    TempFolder folder;
    std::unique_ptr<DesktopSession> session;
};

TEST_F(GadgetTest, FirstStartShowsTheShapedGadgetAndWritesItsSettings)
{
    const std::string window = start();
    ASSERT_FALSE(window.empty());
    EXPECT_EQ(geometry(window), QRect(595, 251, 156, 347));
    EXPECT_EQ(folder.Read("corvane.ini"),
              "[Check]\r\n"
              "TimeCheck=15\r\n"
              "[Mail]\r\n"
              "host=ip smtp server\r\n"
              "port=port smtp server\r\n"
              "username=username smtp server\r\n"
              "pwd=key smtp server\r\n");
    // The key colour is cut out: no yellow pixel of the window reaches the screen.
    const QImage shot = session->Screenshot();
    ASSERT_FALSE(shot.isNull());
    int shown = 0;
    for (int y = 251; y < 251 + 347; ++y)
        for (int x = 595; x < 595 + 156; ++x) {
            const QColor c(shot.pixel(x, y));
            ASSERT_FALSE(c.red() > 200 && c.green() > 200 && c.blue() < 80) << "yellow at " << x << "," << y;
            shown += c != QColor(Qt::black);
        }
    EXPECT_GT(shown, 156 * 347 / 3) << "the dog and the bubble are drawn";
}

TEST_F(GadgetTest, DraggingTheDogStopsAtEveryScreenEdge)
{
    const std::string window = start();
    ASSERT_FALSE(window.empty());
    QRect at = geometry(window);

    drag(dogPoint(at), dogPoint(at) - QPoint(2000, 0));
    at = geometry(window);
    EXPECT_EQ(at.x(), 0);
    EXPECT_EQ(at.y(), 251) << "a horizontal drag keeps the height";

    drag(dogPoint(at), dogPoint(at) + QPoint(3000, 0));
    at = geometry(window);
    EXPECT_EQ(at.x(), ScreenWidth - 156);

    drag(dogPoint(at), dogPoint(at) - QPoint(0, 2000));
    at = geometry(window);
    EXPECT_EQ(at.y(), 0);

    drag(dogPoint(at), dogPoint(at) + QPoint(0, 3000));
    at = geometry(window);
    EXPECT_EQ(at.y(), ScreenHeight - 347) << "H + C is the available height";

    // The bubble does not drag.
    const QRect before = geometry(window);
    drag(before.topLeft() + QPoint(78, 150), before.topLeft() + QPoint(-300, -300));
    EXPECT_EQ(geometry(window), before);
}

TEST_F(GadgetTest, RightClicksOpenTheMenusAndLeaveTheWindowInPlace)
{
    const std::string window = start();
    ASSERT_FALSE(window.empty());
    const QRect at = geometry(window);
    const size_t before = visibleProgramWindows();

    click("3", dogPoint(at).x(), dogPoint(at).y());
    EXPECT_GT(visibleProgramWindows(), before) << "the window menu opened";
    EXPECT_EQ(geometry(window), at);
    session->SaveScreenshot(folder.File("menu.png"));
    session->Tool({"xdotool", "key", "Escape"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(visibleProgramWindows(), before);

    click("3", at.x() + 60, at.y() + 45); // the first row of the list
    EXPECT_GT(visibleProgramWindows(), before) << "the list menu opened";
    session->Tool({"xdotool", "key", "Escape"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    // Moving the pointer over the dog after the menu closed does not drag the window.
    session->Tool({"xdotool", "mousemove", std::to_string(dogPoint(at).x() + 40), std::to_string(dogPoint(at).y())});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(geometry(window), at);
}

TEST_F(GadgetTest, ExitSavesThePlacementAndTheNextStartReturnsThere)
{
    std::string window = start();
    ASSERT_FALSE(window.empty());
    QRect at = geometry(window);
    drag(dogPoint(at), dogPoint(at) + QPoint(-95, -51));
    at = geometry(window);
    ASSERT_EQ(at.topLeft(), QPoint(500, 200));

    click("3", dogPoint(at).x(), dogPoint(at).y());
    session->Tool({"xdotool", "key", "e"}); // "&Esci"
    int status = -1;
    ASSERT_TRUE(session->WaitForExit(10000, &status)) << "the program did not end";
    EXPECT_EQ(status, 0);

    EXPECT_EQ(folder.Read("corvane.inf"),
              "[Form1]\r\n"
              "FormVersion=0\r\n"
              "ShowCmd=1\r\n"
              "Flags=0\r\n"
              "PixelsPerInch=96\r\n"
              "MinMaxPos(1280x1024)=-1,-1,-1,-1\r\n"
              "MinMaxPos=-1,-1,-1,-1\r\n"
              "NormPos(1280x1024)=500,200,656,547\r\n"
              "NormPos=500,200,656,547\r\n"
              "\r\n");

    window = start();
    ASSERT_FALSE(window.empty());
    EXPECT_EQ(geometry(window).topLeft(), QPoint(500, 200));
}

TEST_F(GadgetTest, ScreenshotOverAColouredDesktop)
{
    if (!CommandAvailable("convert") || !CommandAvailable("display"))
        GTEST_SKIP() << "ImageMagick is not installed";
    // On a desktop as users have it: a window manager stacks the gadget above the picture.
    if (!session->StartWindowManager())
        GTEST_SKIP() << "openbox did not start";
    RunCommand({"convert", "-size", "1280x1024", "gradient:#5b8dd6-#2f6b4f", folder.File("desktop.png")});
    ASSERT_TRUE(fs::exists(folder.File("desktop.png")));
    session->SetBackground(folder.File("desktop.png"));
    ASSERT_NE(QColor(session->Screenshot().pixel(5, 5)), QColor(Qt::black)) << "the desktop picture is shown";
    const std::string window = start();
    ASSERT_FALSE(window.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(16000)); // the first cycle fills in the statuses
    const std::string target = std::string(CORVANE_PROGRAM_DIR) + "/../gadget-screenshot.png";
    RunCommand({"import", "-window", "root", "-crop", "400x450+480+200", "+repage", target},
               {{"DISPLAY", session->Display()}});
    EXPECT_TRUE(fs::exists(target));
}

TEST_F(GadgetTest, RestingOnARowShowsItsRoundsBesideTheListButNeverOverAMenu)
{
    if (!session->StartWindowManager())
        GTEST_SKIP() << "openbox did not start";
    folder.Write("corvane.ini", "[Check]\r\nTimeCheck=1\r\n");
    const std::string window = start();
    ASSERT_FALSE(window.empty());
    const QRect at = geometry(window);
    std::this_thread::sleep_for(std::chrono::milliseconds(4500)); // a few rounds, also on a loaded machine
    // The tip stands beside the row the pointer rests on: right of the list, level with the row.
    const QPoint corner = at.topLeft() + QPoint(16 + 121 + 8, 40 + 17);
    const auto tip = [&]() -> std::optional<QRect> {
        const auto found = session->Tool({"xdotool", "search", "--onlyvisible", "--class", "corvane"});
        std::istringstream lines(found.output);
        for (std::string id; std::getline(lines, id);)
            if (const auto area = session->WindowGeometry(id); area && area->topLeft() == corner)
                return area;
        return std::nullopt;
    };
    const QPoint row = at.topLeft() + QPoint(60, 40 + 17 + 8);
    for (const int x : {row.x() - 20, row.x()})
        session->Tool({"xdotool", "mousemove", std::to_string(x), std::to_string(row.y())});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const auto shown = tip();
    ASSERT_TRUE(shown) << "no tip beside the second row";
    // Its picture: the line of the answered rounds.
    const QImage shot = session->Screenshot();
    int line = 0;
    for (int y = shown->top(); y <= shown->bottom(); ++y)
        for (int x = shown->left(); x <= shown->right(); ++x) {
            const QColor c(shot.pixel(x, y));
            line += c.green() > c.red() + 60 && c.green() > c.blue() + 60;
        }
    EXPECT_GT(line, 10);

    session->Tool({"xdotool", "mousemove", std::to_string(dogPoint(at).x()), std::to_string(dogPoint(at).y())});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(tip()) << "the pointer left the list";

    click("3", row.x(), row.y());
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_FALSE(tip()) << "a tip over the list's menu";
    session->Tool({"xdotool", "key", "Escape"});
}

// What the first frame does not need is not loaded for it: the transfer library waits for an update check,
// the sound library for an alarm.
TEST(StartupLibrariesTest, WithTheUpdateCheckOffNeitherTheTransferNorTheSoundLibraryIsLoaded)
{
    TempFolder folder;
    fs::copy_file(fs::path(CORVANE_PROGRAM_DIR) / "corvane", folder.File("corvane"));
    folder.MakeFolder("list");
    const pid_t pid
        = StartProcess({folder.File("corvane")}, {{"QT_QPA_PLATFORM", "offscreen"}, {"CORVANE_UPDATE_HOST", ""}},
                       folder.Path(), "/dev/null");
    ASSERT_GT(pid, 0);
    // Settled once its settings file is written.
    for (int waited = 0; waited < 10000 && !folder.Exists("corvane.ini"); waited += 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    const std::string loaded((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    ::kill(pid, SIGTERM);
    EXPECT_TRUE(WaitForProcess(pid, 10000));
    EXPECT_NE(loaded.find("libQt6Widgets"), std::string::npos);
    EXPECT_EQ(loaded.find("libcurl"), std::string::npos);
    EXPECT_EQ(loaded.find("libcanberra"), std::string::npos);
}

} // namespace
