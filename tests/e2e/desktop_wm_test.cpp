// The gadget among other windows, under the window managers people run and on a bare X server: the restored
// placement, dialogs and boxes above it with the keyboard and out of the taskbar, minimising, and hiding
// without a notification area or after it went.
#include "tests/e2e/desktop_session.h"
#include "tests/support/temp_folder.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace {

using std::to_string;

void pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The parameter names the window manager; empty, the X server is bare.
class DesktopTest : public ::testing::TestWithParam<std::string>
{
protected:
    bool managed() const { return !GetParam().empty(); }

    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool", "xwininfo", "xprop"})
            if (!CommandAvailable(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
        session = std::make_unique<DesktopSession>();
        if (!session->Started() || (managed() && !session->StartWindowManager(GetParam())))
            GTEST_SKIP() << "Xvfb or " << GetParam() << " did not start (scripts/setup installs them)";
        std::filesystem::copy_file(std::string(CORVANE_PROGRAM_DIR) + "/corvane", folder.File("corvane"));
        folder.MakeFolder("list");
        folder.Write("list/loopback.cvr", "127.0.0.1\r\n1\r\n");
        folder.Write("corvane.ini", "[Check]\r\nTimeCheck=3600\r\n");
    }

    void start()
    {
        gadget = 0;
        session->StartProgram(folder.File("corvane"), folder.Path());
        gadget = waitFor("Corvane");
        ASSERT_NE(gadget, 0u) << "the gadget did not appear";
        pause(700);
    }

    void xdo(std::vector<std::string> argv, int settle = 400)
    {
        argv.insert(argv.begin(), "xdotool");
        session->Tool(argv);
        pause(settle);
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

    QRect geometry(unsigned long window) { return session->WindowGeometry(to_string(window)).value_or(QRect()); }
    std::string tool(const std::vector<std::string>& argv) { return session->Tool(argv).output; }

    void expectOnTopWithTheKeyboard(unsigned long window, const std::string& what, unsigned long owner = 0)
    {
        ASSERT_NE(window, 0u) << what << " did not open";
        pause(400);
        EXPECT_GT(session->StackingPosition(window),
                  std::max(session->StackingPosition(gadget), session->StackingPosition(owner ? owner : gadget)))
            << what << " is beneath";
        EXPECT_EQ(tool({"xdotool", "getwindowfocus"}), to_string(window) + "\n") << what << " has no keyboard";
        const std::string states = managed() ? tool({"xprop", "-id", to_string(window), "_NET_WM_STATE"}) : "";
        EXPECT_EQ(managed(), states.find("_NET_WM_STATE_SKIP_TASKBAR") != std::string::npos)
            << what << " has a taskbar button";
    }

    void clickAt(QPoint at, const std::string& button = "1", std::vector<std::string> keys = {})
    {
        xdo({"mousemove", to_string(at.x()), to_string(at.y()), "click", button});
        if (!keys.empty()) {
            keys.insert(keys.begin(), "key");
            xdo(keys, 600);
        }
    }

    QPoint dog() { return geometry(gadget).topLeft() + QPoint(78, 296); }
    QPoint firstRow() { return geometry(gadget).topLeft() + QPoint(60, 48); }

    void exitAndExpectSaved(const std::string& normPos)
    {
        clickAt(dog(), "3", {"e"}); // "&Esci"
        int status = -1;
        ASSERT_TRUE(session->WaitForExit(10000, &status)) << "the program did not end";
        EXPECT_EQ(status, 0);
        EXPECT_NE(folder.Read("corvane.inf").find("\r\nNormPos=" + normPos + "\r\n"), std::string::npos)
            << folder.Read("corvane.inf");
    }

    TempFolder folder;
    std::unique_ptr<DesktopSession> session;
    unsigned long gadget = 0;
};

TEST_P(DesktopTest, RestoredPlacementHoldsForADragAndForAnExitRightAfterTheStart)
{
    // Saved on a taller screen: the bubble would show, the dog that moves the gadget would not.
    folder.Write("corvane.inf", "[Form1]\r\nNormPos=900,900,1056,1247\r\n");
    start();
    EXPECT_EQ(geometry(gadget).topLeft(), QPoint(595, 251)) << "a place that leaves the dog off the screen";
    session->StopProgram();

    folder.Write("corvane.inf", "[Form1]\r\nNormPos=900,301,1056,648\r\n");
    start();
    EXPECT_EQ(geometry(gadget).topLeft(), QPoint(900, 301));
    exitAndExpectSaved("900,301,1056,648");

    start();
    const QPoint grip = dog();
    xdo({"mousemove", to_string(grip.x()), to_string(grip.y()), "mousedown", "1"}, 150);
    xdo({"mousemove", to_string(grip.x() + 3), to_string(grip.y() + 2), "mouseup", "1"});
    EXPECT_EQ(geometry(gadget).topLeft(), QPoint(903, 303)) << "the grabbed point stays under the pointer";
    exitAndExpectSaved("903,303,1059,650");
}

TEST_P(DesktopTest, DialogsAndBoxesOpenAboveTheGadgetWithTheKeyboardAndComeBackFromMinimised)
{
    start();
    clickAt(dog(), "3", {"Down", "Right", "m"}); // "Risorse", "&Modifica risorsa" with nothing selected
    expectOnTopWithTheKeyboard(waitFor("Corvane"), "the error box");
    xdo({"key", "Return"});

    clickAt(firstRow(), "3", {"a"});
    const unsigned long editor = waitFor("Corvane - Aggiungi risorsa");
    expectOnTopWithTheKeyboard(editor, "the editor");
    EXPECT_EQ(session->FrameGeometry(editor).value_or(QRect()).topLeft(), QPoint(343, 197)) << "as designed";
    xdo({"type", "typed.cvr"}); // over the proposed name, which is selected
    clickAt(geometry(editor).topLeft() + QPoint(141, 188)); // "&Ok"
    EXPECT_TRUE(folder.Exists("list/typed.cvr")) << "typing went to the name field";
    clickAt(firstRow(), "3", {"a"});
    xdo({"key", "BackSpace"});
    clickAt(geometry(editor).topLeft() + QPoint(141, 188));
    expectOnTopWithTheKeyboard(waitFor("Corvane"), "the editor's message", editor);
    xdo({"key", "Return"});
    xdo({"key", "alt+a"}); // "&Annulla"

    xdo({"mousemove", to_string(firstRow().x()), to_string(firstRow().y()), "click", "--repeat", "2", "1"});
    expectOnTopWithTheKeyboard(waitFor("Corvane - Modifica risorsa"), "the editor for a change");
    xdo({"key", "alt+a"});

    clickAt(dog(), "3", {"f"}); // "In&formazioni"
    expectOnTopWithTheKeyboard(waitFor("Info su Corvane"), "the about box");
    xdo({"key", "Escape"});

    clickAt(dog(), "3", {"i"});
    const unsigned long settings = waitFor("Corvane - Impostazioni");
    expectOnTopWithTheKeyboard(settings, "the settings dialog");
    // Some window managers offer no minimising for a dialog.
    if (tool({"xprop", "-id", to_string(settings), "_NET_WM_ALLOWED_ACTIONS"}).find("MINIMIZE") != std::string::npos) {
        xdo({"windowminimize", to_string(settings)}, 1000);
        EXPECT_NE(tool({"xprop", "-id", to_string(settings), "WM_STATE"}).find("Iconic"), std::string::npos);
        EXPECT_NE(tool({"xprop", "-id", to_string(gadget), "WM_STATE"}).find("Normal"), std::string::npos)
            << "the gadget went with its dialog";
        clickAt(dog(), "3", {"i"});
        expectOnTopWithTheKeyboard(settings, "the settings dialog, restored");
    }
    xdo({"type", "mail.example.org"});
    clickAt(geometry(settings).topLeft() + QPoint(149, 212));
    EXPECT_NE(folder.Read("corvane.ini").find("host=mail.example.org\r\n"), std::string::npos);
}

TEST_P(DesktopTest, HidingNeedsANotificationAreaToComeBackBy)
{
    start();
    const QRect at = geometry(gadget);
    const auto shown = [&] { return !session->VisibleWindows("^Corvane$").empty() && geometry(gadget) == at; };
    const auto comesBack = [&] {
        for (int i = 0; i < 50 && !shown(); ++i)
            pause(100);
        return shown();
    };
    clickAt(dog(), "3", {"v"});
    EXPECT_NE(waitFor("Corvane"), 0u) << "no box tells why the gadget stays";
    xdo({"key", "Return"});
    EXPECT_TRUE(shown());

    if (!session->StartTray())
        GTEST_SKIP() << "trayer did not start";
    pause(1000);
    clickAt(dog(), "3", {"v"});
    EXPECT_TRUE(session->VisibleWindows("^Corvane$").empty()) << "with a tray the gadget hides";
    session->StopTray();
    EXPECT_TRUE(comesBack()) << "the tray went, so the gadget came back where it was";

    if (!managed())
        return; // nothing minimises a window on a bare server
    ASSERT_TRUE(session->StartTray());
    pause(1000);
    xdo({"windowminimize", to_string(gadget)}, 800);
    EXPECT_TRUE(session->VisibleWindows("^Corvane$").empty()) << "minimised, the gadget went to the tray";
    session->StopTray();
    EXPECT_TRUE(comesBack()) << "the tray went, so the minimised gadget came back";
}

INSTANTIATE_TEST_SUITE_P(, DesktopTest, ::testing::Values("openbox", "xfwm4", "icewm", "fluxbox", ""),
                         [](const auto& info) { return info.param.empty() ? std::string("BareX") : info.param; });

} // namespace
