// The gadget among other windows, under openbox and on a bare X server: the restored placement, the
// dialogs and boxes above it with the keyboard, minimising, and hiding without a notification area.
#include "tests/e2e/desktop_session.h"
#include "tests/support/temp_folder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

void pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string text(int n)
{
    return std::to_string(n);
}

// The parameter says whether openbox manages the screen.
class DesktopTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool", "xwininfo", "xprop"})
            if (!CommandAvailable(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
        session = std::make_unique<DesktopSession>();
        if (!session->Started())
            GTEST_SKIP() << "Xvfb did not start";
        if (GetParam() && !session->StartWindowManager())
            GTEST_SKIP() << "openbox did not start";
        fs::copy_file(fs::path(CORVANE_PROGRAM_DIR) / "corvane", folder.File("corvane"));
        folder.MakeFolder("list");
        folder.Write("list/loopback.cvr", "127.0.0.1\r\n1\r\n");
        folder.Write("corvane.ini", "[Check]\r\nTimeCheck=3600\r\n");
    }

    void TearDown() override
    {
        if (session)
            session->StopProgram();
    }

    void start()
    {
        gadget = 0;
        session->StartProgram(folder.File("corvane"), folder.Path());
        gadget = waitFor("Corvane");
        ASSERT_NE(gadget, 0u) << "the gadget did not appear";
        pause(700);
    }

    // A mapped window of that exact name other than the gadget (boxes carry the gadget's title), or 0.
    unsigned long waitFor(const std::string& name)
    {
        for (int i = 0; i < 100; ++i, pause(100))
            for (const std::string& id : session->VisibleWindows("^" + name + "$"))
                if (std::stoul(id) != gadget)
                    return std::stoul(id);
        return 0;
    }

    bool shown(unsigned long window)
    {
        const auto ids = session->VisibleWindows(".*");
        return std::find(ids.begin(), ids.end(), std::to_string(window)) != ids.end();
    }

    QRect geometry(unsigned long window) { return session->WindowGeometry(std::to_string(window)).value_or(QRect()); }

    // The window with the title bar and border the window manager put around it.
    QRect frame(unsigned long window)
    {
        const std::string out
            = session->Tool({"xprop", "-id", std::to_string(window), "_NET_FRAME_EXTENTS"}).output; // "= l, r, t, b"
        int left = 0, right = 0, top = 0, bottom = 0;
        if (const size_t at = out.find('='); at != std::string::npos)
            std::sscanf(out.c_str() + at + 1, "%d, %d, %d, %d", &left, &right, &top, &bottom);
        return geometry(window).adjusted(-left, -top, right, bottom);
    }

    // The program's windows from the bottom of the stack to its top.
    std::vector<unsigned long> stacking()
    {
        std::vector<unsigned long> order;
        if (GetParam()) {
            const std::string out = session->Tool({"xprop", "-root", "_NET_CLIENT_LIST_STACKING"}).output;
            for (size_t at = out.find("0x"); at != std::string::npos; at = out.find("0x", at + 2))
                order.push_back(std::stoul(out.substr(at), nullptr, 16));
            return order;
        }
        // Without a window manager they are children of the root, which xwininfo lists top first.
        std::istringstream lines(session->Tool({"xwininfo", "-root", "-children"}).output);
        for (std::string line; std::getline(lines, line);)
            if (const size_t at = line.find_first_not_of(' ');
                at != std::string::npos && line.compare(at, 2, "0x") == 0)
                order.insert(order.begin(), std::stoul(line.substr(at), nullptr, 16));
        return order;
    }

    void expectOnTopWithTheKeyboard(unsigned long window, const std::string& what, unsigned long under = 0)
    {
        ASSERT_NE(window, 0u) << what << " did not open";
        pause(400);
        const auto order = stacking();
        const auto at = [&](unsigned long w) { return std::find(order.begin(), order.end(), w) - order.begin(); };
        EXPECT_GT(at(window), at(gadget)) << what << " is beneath the gadget";
        if (under) {
            EXPECT_GT(at(window), at(under)) << what << " is beneath its dialog";
        }
        EXPECT_EQ(session->Tool({"xdotool", "getwindowfocus"}).output, std::to_string(window) + "\n")
            << what << " has not got the keyboard";
    }

    void xdotool(std::vector<std::string> argv, int settle = 400)
    {
        argv.insert(argv.begin(), "xdotool");
        session->Tool(argv);
        pause(settle);
    }

    void rightClick(QPoint at, std::vector<std::string> keys)
    {
        xdotool({"mousemove", text(at.x()), text(at.y()), "click", "3"});
        keys.insert(keys.begin(), "key");
        xdotool(keys, 600);
    }

    void click(unsigned long window, QPoint inside)
    {
        const QPoint at = geometry(window).topLeft() + inside;
        xdotool({"mousemove", text(at.x()), text(at.y()), "click", "1"});
    }

    QPoint dog() { return geometry(gadget).topLeft() + QPoint(78, 296); }
    QPoint firstRow() { return geometry(gadget).topLeft() + QPoint(60, 48); }

    void exitFromTheMenu()
    {
        rightClick(dog(), {"e"});
        int status = -1;
        ASSERT_TRUE(session->WaitForExit(10000, &status)) << "the program did not end";
        EXPECT_EQ(status, 0);
    }

    TempFolder folder;
    std::unique_ptr<DesktopSession> session;
    unsigned long gadget = 0;
};

TEST_P(DesktopTest, RestoredPlacementHoldsForADragAndForAnExitRightAfterTheStart)
{
    folder.Write("corvane.inf", "[Form1]\r\nNormPos=900,301,1056,648\r\n");
    start();
    EXPECT_EQ(geometry(gadget).topLeft(), QPoint(900, 301));
    exitFromTheMenu();
    EXPECT_NE(folder.Read("corvane.inf").find("\r\nNormPos=900,301,1056,648\r\n"), std::string::npos)
        << folder.Read("corvane.inf");

    start();
    const QPoint grip = dog();
    xdotool({"mousemove", text(grip.x()), text(grip.y()), "mousedown", "1"}, 150);
    xdotool({"mousemove", text(grip.x() + 3), text(grip.y() + 2)}, 300);
    xdotool({"mouseup", "1"});
    EXPECT_EQ(geometry(gadget).topLeft(), QPoint(903, 303)) << "the grabbed point stays under the pointer";
    exitFromTheMenu();
    EXPECT_NE(folder.Read("corvane.inf").find("\r\nNormPos=903,303,1059,650\r\n"), std::string::npos)
        << folder.Read("corvane.inf");
}

TEST_P(DesktopTest, DialogsAndBoxesOpenAboveTheGadgetWithTheKeyboard)
{
    start();
    rightClick(dog(), {"Down", "Right", "m"}); // "Risorse", "&Modifica risorsa" with nothing selected
    expectOnTopWithTheKeyboard(waitFor("Corvane"), "the error box");
    xdotool({"key", "Return"});

    rightClick(firstRow(), {"a"});
    const unsigned long editor = waitFor("Corvane - Aggiungi risorsa");
    expectOnTopWithTheKeyboard(editor, "the editor");
    EXPECT_EQ(frame(editor).topLeft(), QPoint(343, 197)) << "at its designed place";
    xdotool({"type", "typed.cvr"}); // over the proposed name, which is selected
    click(editor, {141, 188}); // "&Ok"
    EXPECT_TRUE(folder.Exists("list/typed.cvr")) << "typing went to the name field";
    rightClick(firstRow(), {"a"});
    xdotool({"key", "BackSpace"});
    click(editor, {141, 188});
    expectOnTopWithTheKeyboard(waitFor("Corvane"), "the editor's message", editor);
    xdotool({"key", "Return"});
    xdotool({"key", "alt+a"}); // "&Annulla"

    const QPoint row = firstRow();
    xdotool({"mousemove", text(row.x()), text(row.y()), "click", "--repeat", "2", "1"});
    expectOnTopWithTheKeyboard(waitFor("Corvane - Modifica risorsa"), "the editor for a change");
    xdotool({"key", "alt+a"}); // "&Annulla"

    rightClick(dog(), {"i"});
    const unsigned long settings = waitFor("Corvane - Impostazioni");
    expectOnTopWithTheKeyboard(settings, "the settings dialog");
    xdotool({"type", "mail.example.org"});
    click(settings, {149, 212});
    EXPECT_NE(folder.Read("corvane.ini").find("host=mail.example.org\r\n"), std::string::npos)
        << folder.Read("corvane.ini");
}

TEST_P(DesktopTest, MinimisedDialogLeavesTheGadgetAndItsCommandBringsItBack)
{
    if (!GetParam())
        GTEST_SKIP() << "without a window manager nothing is minimised";
    start();
    rightClick(dog(), {"i"});
    const unsigned long settings = waitFor("Corvane - Impostazioni");
    ASSERT_NE(settings, 0u);
    xdotool({"windowminimize", std::to_string(settings)}, 1000);
    auto state = [&](unsigned long window) {
        return session->Tool({"xprop", "-id", std::to_string(window), "WM_STATE"}).output;
    };
    ASSERT_NE(state(settings).find("state: Iconic"), std::string::npos);
    EXPECT_NE(state(gadget).find("state: Normal"), std::string::npos) << "the gadget went with its dialog";
    rightClick(dog(), {"i"});
    EXPECT_NE(state(settings).find("state: Normal"), std::string::npos);
    expectOnTopWithTheKeyboard(settings, "the settings dialog reopened");
}

TEST_P(DesktopTest, HidingNeedsANotificationAreaToComeBackBy)
{
    start();
    const QRect at = geometry(gadget);
    rightClick(dog(), {"v"});
    EXPECT_NE(waitFor("Corvane"), 0u) << "no box tells why the gadget stays";
    EXPECT_TRUE(shown(gadget));
    xdotool({"key", "Return"});

    if (!session->StartTray())
        GTEST_SKIP() << "trayer did not start";
    pause(1000);
    rightClick(dog(), {"v"});
    EXPECT_FALSE(shown(gadget)) << "with a tray the gadget hides";
    session->StopTray();
    for (int i = 0; i < 50 && !shown(gadget); ++i)
        pause(100);
    EXPECT_TRUE(shown(gadget)) << "the tray went, so the gadget came back";
    EXPECT_EQ(geometry(gadget), at);
}

INSTANTIATE_TEST_SUITE_P(, DesktopTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Openbox" : "BareX"; });

} // namespace
