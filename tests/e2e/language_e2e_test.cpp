// The real program on an English and on an Italian desktop: the captions of its windows as assistive technology
// reads them, and the texts of its error boxes.
#include "tests/e2e/program_fixture.h"

#include <algorithm>
#include <unistd.h>

namespace {

struct Desktop
{
    const char* lang;
    std::vector<std::string> aboutBox; // the box's title first, then other captions, as role and name
    std::string linkRefused; // how the error box for a linked resource ends, as root
};

class LanguageE2ETest : public ProgramTest, public ::testing::WithParamInterface<Desktop>
{
};

TEST_P(LanguageE2ETest, TheAboutBoxAndTheErrorBoxesSpeakTheDesktopsLanguage)
{
    // As root a resource linked into the folder is refused, with an error box of the program's own.
    if (::geteuid() != 0 || !session->StartAccessibility())
        GTEST_SKIP() << "needs root, at-spi and dbus (scripts/setup installs them)";
    TempFolder elsewhere;
    elsewhere.Write("linked.cvr", "127.0.0.1\r\n1\r\n");
    std::filesystem::create_symlink(elsewhere.File("linked.cvr"), folder.File("list/linked.cvr"));
    folder.Write("corvane.ini", "[Check]\r\nTimeCheck=1\r\n");
    // No generated locale is needed: the program reads the variables itself.
    start(folder.File("corvane"),
          {{"LANG", GetParam().lang},
           {"LANGUAGE", ""},
           {"LC_ALL", ""},
           {"LC_MESSAGES", ""},
           {"CORVANE_UPDATE_HOST", ""}});
    const std::string gadget = waitForGadget();
    ASSERT_FALSE(gadget.empty()) << folder.Read("stderr.txt");
    ASSERT_TRUE(waitForBoxes(1)) << folder.Read("stderr.txt");
    EXPECT_TRUE(boxes().front().ends_with(GetParam().linkRefused)) << boxes().front();
    std::filesystem::remove(folder.File("list/linked.cvr")); // so that the next rounds raise no box
    EXPECT_TRUE(answerBox());

    const QPoint dog = session->WindowGeometry(gadget).value_or(QRect()).topLeft() + QPoint(78, 201 + 95);
    session->Tool({"xdotool", "mousemove", std::to_string(dog.x()), std::to_string(dog.y()), "click", "3"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    session->Tool({"xdotool", "key", "f"}); // "In&formazioni"
    const std::string& title = GetParam().aboutBox.front();
    ASSERT_TRUE(session->WaitForWindow(title.substr(title.find(": ") + 2), 8000)) << "no window for " << title;
    const auto texts = session->AccessibleTexts();
    for (const std::string& caption : GetParam().aboutBox)
        EXPECT_NE(std::find(texts.begin(), texts.end(), caption), texts.end())
            << caption << " is not among " << ::testing::PrintToString(texts);
    session->Tool({"xdotool", "key", "Escape"});
    EXPECT_EQ(stopWithSigterm(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    , LanguageE2ETest,
    ::testing::Values(Desktop {"en_US.UTF-8",
                               {"dialog: About Corvane", "push button: Visit the website", "push button: OK"},
                               "Symbolic link refused: running as root, Corvane follows no links in its folder."},
                      Desktop {"it_IT.UTF-8",
                               {"dialog: Info su Corvane", "push button: Visita il sito", "push button: OK"},
                               "Collegamento simbolico rifiutato: eseguito come root, Corvane non segue "
                               "collegamenti nella sua cartella."}),
    [](const auto& info) { return std::string(info.index == 0 ? "English" : "Italian"); });

} // namespace
