// The gadget among other windows, under openbox and on a bare X server: the restored placement, dialogs and
// boxes above it with the keyboard, minimising, and hiding without a notification area.
#include "tests/e2e/desktop_session.h"
#include "tests/support/temp_folder.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace {

using std::to_string;

void pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
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
        if (!session->Started() || (GetParam() && !session->StartWindowManager()))
            GTEST_SKIP() << "Xvfb or openbox did not start";
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
        // Bottom to top: the window manager's list, or the root's children, which xwininfo lists top first.
        const std::string out = GetParam() ? tool({"xprop", "-root", "_NET_CLIENT_LIST_STACKING"})
                                           : tool({"xwininfo", "-root", "-children"});
        std::istringstream words(out.substr(std::min(out.find(GetParam() ? "#" : "children:"), out.size())));
        std::vector<unsigned long> order;
        for (std::string word; words >> word;)
            if (word.starts_with("0x"))
                order.insert(GetParam() ? order.end() : order.begin(), std::stoul(word, nullptr, 16));
        const auto at = [&](unsigned long w) { return std::find(order.begin(), order.end(), w) - order.begin(); };
        EXPECT_GT(at(window), std::max(at(gadget), at(owner ? owner : gadget))) << what << " is beneath";
        EXPECT_EQ(tool({"xdotool", "getwindowfocus"}), to_string(window) + "\n") << what << " has no keyboard";
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
    const std::string info = tool({"xwininfo", "-id", to_string(editor)});
    const auto inFrame = [&](const char* axis) {
        return GetParam() ? std::atoi(info.c_str() + info.find("Relative upper-left " + std::string(axis)) + 22) : 0;
    };
    EXPECT_EQ(geometry(editor).topLeft() - QPoint(inFrame("X:"), inFrame("Y:")), QPoint(343, 197)) << "as designed";
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

    clickAt(dog(), "3", {"i"});
    const unsigned long settings = waitFor("Corvane - Impostazioni");
    expectOnTopWithTheKeyboard(settings, "the settings dialog");
    if (GetParam()) {
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
    for (int i = 0; i < 50 && !shown(); ++i)
        pause(100);
    EXPECT_TRUE(shown()) << "the tray went, so the gadget came back where it was";
}

INSTANTIATE_TEST_SUITE_P(, DesktopTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Openbox" : "BareX"; });

} // namespace
