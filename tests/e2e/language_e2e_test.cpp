// The real program on an English and on an Italian desktop: the captions of its windows as assistive technology
// reads them, and the texts of its error boxes.
#include "tests/e2e/program_fixture.h"

#include <algorithm>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Desktop
{
    const char* lang;
    std::vector<std::string> aboutBox; // captions, as role and name
    std::string linkRefused; // the end of the error box for a linked resource, as root
};

void PrintTo(const Desktop& desktop, std::ostream* out)
{
    *out << "LANG=" << desktop.lang;
}

class LanguageE2ETest : public ProgramTest, public ::testing::WithParamInterface<Desktop>
{
protected:
    bool shows(const std::vector<std::string>& texts, const std::string& text) const
    {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
};

TEST_P(LanguageE2ETest, TheAboutBoxAndTheErrorBoxesSpeakTheDesktopsLanguage)
{
    if (!session->StartAccessibility())
        GTEST_SKIP() << "at-spi or dbus is not installed (scripts/setup installs them)";
    const bool root = ::geteuid() == 0;
    // As root a resource linked into the folder is refused, with an error box of the program's own.
    TempFolder elsewhere;
    elsewhere.Write("linked.cvr", "127.0.0.1\r\n1\r\n");
    if (root)
        fs::create_symlink(elsewhere.File("linked.cvr"), folder.File("list/linked.cvr"));
    folder.Write("list/loopback.cvr", "127.0.0.1\r\n1\r\n");
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
    if (root) {
        ASSERT_TRUE(waitForBoxes(1)) << folder.Read("stderr.txt");
        EXPECT_TRUE(boxes().front().ends_with(GetParam().linkRefused)) << boxes().front();
        fs::remove(folder.File("list/linked.cvr")); // so that the next rounds raise no box
        EXPECT_TRUE(answerBox());
    }

    const QRect at = session->WindowGeometry(gadget).value_or(QRect());
    const QPoint dog = at.topLeft() + QPoint(78, 201 + 95);
    session->Tool({"xdotool", "mousemove", std::to_string(dog.x()), std::to_string(dog.y()), "click", "3"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    session->Tool({"xdotool", "key", "f"}); // "In&formazioni"
    const std::string title = GetParam().aboutBox.front().substr(GetParam().aboutBox.front().find(": ") + 2);
    ASSERT_TRUE(session->WaitForWindow(title, 8000)) << "no window named " << title;
    const auto texts = session->AccessibleTexts();
    std::string all;
    for (const std::string& text : texts)
        all += "\n  " + text;
    for (const std::string& caption : GetParam().aboutBox)
        EXPECT_TRUE(shows(texts, caption)) << caption << " is not among:" << all;
    session->Tool({"xdotool", "key", "Escape"});
    EXPECT_EQ(stopWithSigterm(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    , LanguageE2ETest,
    ::testing::Values(
        Desktop {"en_US.UTF-8",
                 {"dialog: About Corvane", "push button: Visit the website", "push button: OK"},
                 "Symbolic link refused: running as root, Corvane follows no links in its folder."},
        Desktop {"it_IT.UTF-8",
                 {"dialog: Info su Corvane", "push button: Visita il sito", "push button: OK"},
                 "Collegamento simbolico rifiutato: eseguito come root, Corvane non segue collegamenti nella sua "
                 "cartella."}),
    [](const auto& info) { return std::string(info.index == 0 ? "English" : "Italian"); });

} // namespace
