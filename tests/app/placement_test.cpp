#include "app/app_ini_file_storage.h"
#include "app/form_storage.h"
#include "app/form_storage_qt.h"
#include "platform/exception.h"
#include "tests/support/temp_folder.h"
#include "ui/message_box.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QWidget>

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The main window as the store sees it: at its designed position, on a 1280 x 1024 screen at 96 dpi.
class FakeWindow final : public IPlacementTarget
{
public:
    FakeWindow() { moveTo(595, 251); }

    void moveTo(int32_t left, int32_t top) { current.normalPosition = {left, top, left + 156, top + 347}; }
    TPlacementPoint position() const { return {current.normalPosition.left, current.normalPosition.top}; }

    std::string name() const override { return "Form1"; }
    bool hasHandle() const override { return handle; }
    TWindowPlacement placement() const override { return current; }
    void setPlacement(const TWindowPlacement& placement) override
    {
        applied.push_back(placement);
        current.normalPosition = placement.normalPosition;
    }
    TPlacementSize size() const override { return {156, 347}; }
    TPlacementRect grip() const override { return gripRect ? *gripRect : IPlacementTarget::grip(); }
    void keepDesignedPosition() override { keptDesignedPosition = true; }
    bool isApplicationMinimized() const override { return applicationMinimized; }
    void minimizeApplication() override { ++minimizeRequests; }
    void setWindowState(TPlacementWindowState value) override { state = value; }
    TPlacementSize screenSize() const override { return screen; }
    std::vector<TPlacementRect> screenRects() const override
    {
        return screens ? *screens : std::vector<TPlacementRect> {{0, 0, screen.width, screen.height}};
    }
    int32_t pixelsPerInch() const override { return dpi; }
    void reportError(const std::exception& error) override { errors.emplace_back(error.what()); }

    TWindowPlacement current {TWindowPlacement::ShowNormal, 0, {-1, -1}, {-1, -1}, {}};
    bool handle = true;
    bool applicationMinimized = false;
    TPlacementSize screen {1280, 1024};
    std::optional<std::vector<TPlacementRect>> screens; // the one screen above, unless set
    std::optional<TPlacementRect> gripRect; // all of the window, unless set
    int32_t dpi = 96;

    std::vector<TWindowPlacement> applied;
    bool keptDesignedPosition = false;
    int minimizeRequests = 0;
    std::optional<TPlacementWindowState> state;
    std::vector<std::string> errors;
};

// One run of the program: the storage loads at start, the store saves at the latest when it goes, the
// storage flushes last.
struct ProgramRun
{
    explicit ProgramRun(const std::string& path, const FakeWindow& setup = FakeWindow())
        : ini(path)
        , store(ini, std::make_unique<FakeWindow>(setup))
        , window(static_cast<FakeWindow&>(store.target()))
    { }

    void show() { window.OnShow(); }
    void close() { window.OnCloseAccepted(); }

    TAppIniFileStorage ini;
    TFormStorage store;
    FakeWindow& window;
};

std::string lines(std::initializer_list<const char*> list)
{
    std::string text;
    for (const char* line : list)
        text += std::string(line) + "\r\n";
    return text;
}

const std::string SavedAt600x200
    = lines({"[Form1]", "FormVersion=0", "ShowCmd=1", "Flags=0", "PixelsPerInch=96", "MinMaxPos(1280x1024)=-1,-1,-1,-1",
             "MinMaxPos=-1,-1,-1,-1", "NormPos(1280x1024)=600,200,756,547", "NormPos=600,200,756,547", ""});

class PlacementTest : public ::testing::Test
{
protected:
    std::string path() const { return folder.File("corvane.inf"); }

    // The position a run starting with `content` in corvane.inf restores, or nothing when it applies none.
    std::optional<std::pair<int, int>> restoredFrom(const std::string& content, const FakeWindow& setup = {})
    {
        folder.Write("corvane.inf", content);
        ProgramRun run(path(), setup);
        run.show();
        EXPECT_EQ(run.window.errors, std::vector<std::string>());
        if (run.window.applied.empty())
            return std::nullopt;
        const TPlacementRect& rect = run.window.applied.back().normalPosition;
        return std::make_pair(rect.left, rect.top);
    }

    std::vector<std::string> leftovers() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
            if (entry.path().filename() != "corvane.inf")
                names.push_back(entry.path().filename().string());
        }
        return names;
    }

    TempFolder folder;
};

using Position = std::optional<std::pair<int, int>>;

TEST_F(PlacementTest, FirstRunOpensAtTheDesignedPlaceAndExitWritesTheEightKeys)
{
    {
        ProgramRun run(path());
        run.show();
        EXPECT_TRUE(run.window.applied.empty());
        run.window.moveTo(600, 200);
        run.close();
    }
    EXPECT_EQ(folder.Read("corvane.inf"), SavedAt600x200);

    ProgramRun next(path());
    next.show();
    ASSERT_EQ(next.window.applied.size(), 1u);
    const TWindowPlacement& applied = next.window.applied[0];
    EXPECT_EQ(applied.showCmd, TWindowPlacement::Hidden) << "applying must not show the window";
    EXPECT_EQ(applied.normalPosition.left, 600);
    EXPECT_EQ(applied.normalPosition.top, 200);
    EXPECT_EQ(applied.normalPosition.right, 756);
    EXPECT_EQ(applied.normalPosition.bottom, 547);
    EXPECT_TRUE(next.window.keptDesignedPosition);
    EXPECT_EQ(next.window.state, TPlacementWindowState::Normal);
}

TEST_F(PlacementTest, OtherScreenSizeReadsTheKeysWithoutSuffixAndAddsItsOwnOnExit)
{
    const std::string saved = lines({"[Form1]", "FormVersion=0", "ShowCmd=1", "Flags=0", "PixelsPerInch=96",
                                     "MinMaxPos(1280x1024)=-1,-1,-1,-1", "MinMaxPos=-1,-1,-1,-1",
                                     "NormPos(1280x1024)=100,100,256,447", "NormPos=600,200,756,547", ""});
    EXPECT_EQ(restoredFrom(saved), Position({100, 100})) << "the keys of the current size come first";

    FakeWindow wide;
    wide.screen = {1920, 1080};
    folder.Write("corvane.inf", saved);
    {
        ProgramRun run(path(), wide);
        run.show();
        ASSERT_EQ(run.window.applied.size(), 1u);
        EXPECT_EQ(run.window.position().x, 600);
        EXPECT_EQ(run.window.position().y, 200);
        run.window.moveTo(700, 300);
        run.close();
    }
    EXPECT_EQ(folder.Read("corvane.inf"),
              lines({"[Form1]", "FormVersion=0", "ShowCmd=1", "Flags=0", "PixelsPerInch=96",
                     "MinMaxPos(1280x1024)=-1,-1,-1,-1", "MinMaxPos=-1,-1,-1,-1", "NormPos(1280x1024)=100,100,256,447",
                     "NormPos=700,300,856,647", "MinMaxPos(1920x1080)=-1,-1,-1,-1",
                     "NormPos(1920x1080)=700,300,856,647", ""}));
}

TEST_F(PlacementTest, NormPosWordsAreSplitAtBlanksAndCommas)
{
    const struct
    {
        const char* normPos;
        Position expected;
    } cases[] = {
        {"10 20 166 367", Position({10, 20})},
        {"10,20,166,367", Position({10, 20})},
        {"  10 , 20,,166  367", Position({10, 20})},
        {"-100,-300,56,47", Position({-100, -300})}, // partly off the screen stays there
        {"x,20,166,367", Position({595, 20})}, // a word that is no integer keeps the current left or top
        {"10", Position({10, 251})},
        {"10;20", Position({595, 251})},
        {"", Position({595, 251})}, // found, so applied, at the current place
    };
    for (const auto& c : cases) {
        const std::string file = "[Form1]\r\nNormPos=" + std::string(c.normPos) + "\r\n";
        EXPECT_EQ(restoredFrom(file), c.expected) << c.normPos;
    }
}

TEST_F(PlacementTest, MinMaxPosWordsThatAreNoIntegersGiveZero)
{
    folder.Write("corvane.inf", "[Form1]\r\nMinMaxPos=1 2,x\r\n");
    ProgramRun run(path());
    run.show();
    ASSERT_EQ(run.window.applied.size(), 1u);
    const TWindowPlacement& applied = run.window.applied[0];
    EXPECT_EQ(applied.minPosition.x, 1);
    EXPECT_EQ(applied.minPosition.y, 2);
    EXPECT_EQ(applied.maxPosition.x, 0);
    EXPECT_EQ(applied.maxPosition.y, 0);
    EXPECT_EQ(run.window.position().x, 595) << "no NormPos: the window stays where it is";
}

TEST_F(PlacementTest, PositionIsAppliedOnlyWithAPositionKeyAndTheSameResolution)
{
    FakeWindow highDpi;
    highDpi.dpi = 120;
    const struct
    {
        std::string file;
        FakeWindow window;
        Position expected;
    } cases[] = {
        {"", {}, std::nullopt},
        {"[Check]\r\nNormPos=10,20,166,367\r\n", {}, std::nullopt},
        {"[Form1]\r\nFormVersion=0\r\nShowCmd=1\r\nPixelsPerInch=96\r\n", {}, std::nullopt},
        {"[Form1]\r\nNormPos=10,20,166,367\r\n", {}, Position({10, 20})},
        {"[Form1]\r\nPixelsPerInch=96\r\nNormPos=10,20,166,367\r\n", {}, Position({10, 20})},
        {"[Form1]\r\nPixelsPerInch=120\r\nNormPos=10,20,166,367\r\n", {}, std::nullopt},
        {"[Form1]\r\nPixelsPerInch=96\r\nNormPos=10,20,166,367\r\n", highDpi, std::nullopt},
        {"[Form1]\r\nFormVersion=1\r\nNormPos=10,20,166,367\r\n", {}, Position({10, 20})},
        {"[Form1]\r\nFormVersion=-1\r\nNormPos=10,20,166,367\r\n", {}, std::nullopt},
        {"[form1]\r\nnormpos=10,20,166,367\r\n", {}, Position({10, 20})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(restoredFrom(c.file, c.window), c.expected) << c.file;
}

TEST_F(PlacementTest, ImpossibleOrUnreachableRectanglesKeepTheDesignedPlace)
{
    FakeWindow twoScreens;
    twoScreens.screens = std::vector<TPlacementRect> {{0, 0, 1280, 1024}, {1280, 0, 3200, 1080}};
    FakeWindow dogGrip; // only the dog, below the bubble, starts a drag
    dogGrip.gripRect = TPlacementRect {0, 201, 156, 347};
    const struct
    {
        const char* normPos;
        FakeWindow window;
        Position expected;
    } cases[] = {
        {"2147483647,2147483647,0,0", {}, std::nullopt}, // left + width does not fit in 32 bits
        {"2147483600,100,0,0", {}, std::nullopt},
        {"-2147483648,-2147483648,0,0", {}, std::nullopt},
        {"2000,100,2156,447", {}, std::nullopt}, // its monitor is gone
        {"2000,100,2156,447", twoScreens, Position({2000, 100})},
        {"100,1100,256,1447", twoScreens, std::nullopt}, // below both screens
        {"1270,100,1426,447", {}, std::nullopt}, // 10 pixels are too few to grab
        {"1264,100,1420,447", {}, Position({1264, 100})},
        {"-140,1008,16,1355", {}, Position({-140, 1008})},
        {"600,900,756,1247", dogGrip, std::nullopt}, // the bubble is on the screen, the dog below it
        {"600,807,756,1154", dogGrip, Position({600, 807})}, // 16 rows of the dog
        {"600,808,756,1155", dogGrip, std::nullopt},
        {"600,-331,756,16", dogGrip, Position({600, -331})},
        {"600,-332,756,15", dogGrip, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::string file = "[Form1]\r\nNormPos=" + std::string(c.normPos) + "\r\nShowCmd=3\r\n";
        folder.Write("corvane.inf", file);
        ProgramRun run(path(), c.window);
        run.show();
        const auto& applied = run.window.applied;
        EXPECT_EQ(applied.empty() ? Position()
                                  : Position({applied.back().normalPosition.left, applied.back().normalPosition.top}),
                  c.expected)
            << c.normPos;
        EXPECT_EQ(run.window.position().x, c.expected ? c.expected->first : 595) << c.normPos;
        EXPECT_EQ(run.window.state, TPlacementWindowState::Maximized) << "the rest of the restore goes on";
    }
}

TEST_F(PlacementTest, ShowCmdChoosesTheWindowState)
{
    using S = TPlacementWindowState;
    const struct
    {
        const char* line;
        std::optional<S> state;
        int minimizeRequests;
    } cases[] = {
        {"ShowCmd=1", S::Normal, 0},    {"ShowCmd=5", S::Normal, 0}, {"ShowCmd=9", S::Normal, 0},
        {"ShowCmd=2", S::Normal, 1},    {"ShowCmd=6", S::Normal, 1}, {"ShowCmd=7", S::Normal, 1},
        {"ShowCmd=3", S::Maximized, 0}, {"ShowCmd=0", S::Normal, 0}, {"ShowCmd=4", S::Normal, 0},
        {"ShowCmd=-1", S::Normal, 0},   {"Flags=0", S::Normal, 0},   {"FormVersion=-1\r\nShowCmd=3", std::nullopt, 0},
    };
    for (const auto& c : cases) {
        folder.Write("corvane.inf", "[Form1]\r\n" + std::string(c.line) + "\r\n");
        ProgramRun run(path());
        run.show();
        EXPECT_EQ(run.window.state, c.state) << c.line;
        EXPECT_EQ(run.window.minimizeRequests, c.minimizeRequests) << c.line;
    }
}

TEST_F(PlacementTest, NonIntegerValueStopsTheRestoreAtItsKeyEveryShow)
{
    const struct
    {
        const char* line;
        const char* message;
        bool moved;
    } cases[] = {
        {"FormVersion=zero", "'zero' is not a valid integer value", false},
        {"FormVersion=", "'' is not a valid integer value", false},
        {"Flags=0x", "'0x' is not a valid integer value", false},
        {"PixelsPerInch=96dpi", "'96dpi' is not a valid integer value", false},
        {"ShowCmd=normal", "'normal' is not a valid integer value", true},
    };
    for (const auto& c : cases) {
        folder.Write("corvane.inf", "[Form1]\r\nNormPos=10,20,166,367\r\n" + std::string(c.line) + "\r\n");
        ProgramRun run(path());
        run.show();
        EXPECT_EQ(run.window.errors, std::vector<std::string>({c.message})) << c.line;
        EXPECT_EQ(run.window.applied.size(), c.moved ? 1u : 0u) << c.line;
        EXPECT_FALSE(run.window.state.has_value()) << c.line;

        run.show();
        EXPECT_EQ(run.window.errors.size(), 2u) << c.line << ": the next show tries again";
    }
    // Without a position key the resolution is never read.
    EXPECT_EQ(restoredFrom("[Form1]\r\nPixelsPerInch=high\r\n"), std::nullopt);
}

TEST_F(PlacementTest, RestoreRunsOnTheFirstSuccessfulShowOnly)
{
    folder.Write("corvane.inf", "[Form1]\r\nNormPos=10,20,166,367\r\nShowCmd=x\r\n");
    ProgramRun run(path());
    run.show();
    ASSERT_EQ(run.window.errors.size(), 1u);
    run.ini.WriteString("Form1", "ShowCmd", "1");
    run.show();
    EXPECT_EQ(run.window.errors.size(), 1u);
    EXPECT_EQ(run.window.applied.size(), 2u);

    run.window.moveTo(300, 100);
    run.show();
    EXPECT_EQ(run.window.applied.size(), 2u) << "showing again after hiding does not restore";
    EXPECT_EQ(run.window.position().x, 300);
}

TEST_F(PlacementTest, CloseSavesAndTheDestroyAfterItDoesNot)
{
    {
        ProgramRun run(path());
        run.show();
        run.window.moveTo(600, 200);
        run.close();
        run.window.moveTo(10, 10);
    }
    EXPECT_EQ(folder.Read("corvane.inf"), SavedAt600x200);
}

TEST_F(PlacementTest, DestroyWithoutASaveSaves)
{
    {
        ProgramRun run(path());
        run.show();
        run.window.moveTo(600, 200);
    }
    EXPECT_EQ(folder.Read("corvane.inf"), SavedAt600x200);
}

TEST_F(PlacementTest, ExitWithoutUnwindingWritesThePlacementLastReported)
{
    ProgramRun run(path());
    run.show();
    run.window.moveTo(600, 200);
    run.window.OnPlacementChanged();
    // The window system is gone: what the window would say now is not asked.
    run.window.handle = false;
    run.window.moveTo(10, 10);
    run.store.SaveAtExit();
    EXPECT_EQ(folder.Read("corvane.inf"), SavedAt600x200);

    // After a close the saved placement is the one flushed.
    folder.Write("corvane.inf", "");
    ProgramRun closed(path());
    closed.show();
    closed.window.moveTo(600, 200);
    closed.close();
    closed.window.moveTo(10, 10);
    closed.window.OnPlacementChanged();
    closed.store.SaveAtExit();
    EXPECT_EQ(folder.Read("corvane.inf"), SavedAt600x200);
}

TEST_F(PlacementTest, WindowThatNeverExistedSavesNothing)
{
    folder.Write("corvane.inf", SavedAt600x200);
    FakeWindow never;
    never.handle = false;
    never.moveTo(1, 1);
    {
        ProgramRun run(path(), never);
        run.close();
    }
    EXPECT_EQ(folder.Read("corvane.inf"), SavedAt600x200);
}

TEST_F(PlacementTest, MinimisedApplicationIsSavedAsShowCmd2)
{
    FakeWindow minimised;
    minimised.applicationMinimized = true;
    {
        ProgramRun run(path(), minimised);
        run.show();
        run.close();
    }
    TAppIniFileStorage saved(path());
    EXPECT_EQ(saved.ReadString("Form1", "ShowCmd", ""), "2");
}

TEST_F(PlacementTest, SaveKeepsOtherSectionsUnknownKeysAndTheirSpelling)
{
    folder.Write("corvane.inf",
                 "; written by hand\n"
                 "[Check]\n"
                 "TimeCheck=15\n"
                 "\n"
                 "\n"
                 "[form1]\n"
                 "formversion = 3\n"
                 "Extra = kept as it is \n"
                 "; NormPos=1,2,3,4\n"
                 "a line without a key\n"
                 "[Other]\n");
    {
        ProgramRun run(path());
        run.show();
        run.window.moveTo(600, 200);
        run.close();
    }
    EXPECT_EQ(folder.Read("corvane.inf"),
              lines({"; written by hand", "[Check]", "TimeCheck=15", "", "[form1]", "formversion=0",
                     "Extra = kept as it is ", "; NormPos=1,2,3,4", "a line without a key", "ShowCmd=1", "Flags=0",
                     "PixelsPerInch=96", "MinMaxPos(1280x1024)=-1,-1,-1,-1", "MinMaxPos=-1,-1,-1,-1",
                     "NormPos(1280x1024)=600,200,756,547", "NormPos=600,200,756,547", "", "[Other]", ""}));
}

TEST_F(PlacementTest, StorageMatchesNamesInAnyCaseAndAddsNewKeysAtTheEndOfTheirSection)
{
    folder.Write("corvane.inf", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
    TAppIniFileStorage ini(path());
    EXPECT_EQ(ini.ReadString("a", "X", "none"), "1");
    EXPECT_TRUE(ini.ValueExists("b", "Y"));
    EXPECT_FALSE(ini.ValueExists("A", "y"));
    EXPECT_EQ(ini.ReadString("A", "y", "none"), "none");

    ini.WriteString("a", "z", "3");
    ini.WriteString("A", "X", "one");
    ini.WriteString("C", "w", "two\r\nlines");
    EXPECT_EQ(ini.Text(), lines({"[A]", "x=one", "z=3", "", "[B]", "y=2", "", "[C]", "w=two  lines", ""}));
    EXPECT_EQ(folder.Read("corvane.inf"), "[A]\r\nx=1\r\n[B]\r\ny=2\r\n") << "nothing is written before the end";
}

TEST_F(PlacementTest, AByteOrderMarkIsSkippedAndKept)
{
    folder.Write("corvane.inf", "\xef\xbb\xbf" + SavedAt600x200);
    {
        ProgramRun run(path());
        run.show();
        ASSERT_FALSE(run.window.applied.empty()) << "the first section is found";
        EXPECT_EQ(run.window.position().x, 600);
        run.close();
    }
    EXPECT_EQ(folder.Read("corvane.inf"), "\xef\xbb\xbf" + SavedAt600x200);

    // Empty lines are not kept, so a mark after them is read as the file's and written as its first bytes.
    TAppIniFileStorage storage(std::string {});
    storage.SetText("\r\n\xef\xbb\xbf  [Form1]\r\nShowCmd=3\r\n");
    EXPECT_EQ(storage.ReadString("Form1", "ShowCmd", ""), "3");
    EXPECT_EQ(storage.Text(), "\xef\xbb\xbf  [Form1]\r\nShowCmd=3\r\n\r\n");
}

TEST_F(PlacementTest, StorageReadsIntegersAndBooleans)
{
    folder.Write("corvane.inf",
                 lines({"[S]", "dec= 12 ", "hex=0x10", "neg=-7", "text=12a", "empty=", "yes=yes", "Y=Y", "true=True",
                        "no=NO", "n=n", "false=false", "one=1", "zero=0", "other=maybe"}));
    TAppIniFileStorage ini(path());
    EXPECT_EQ(ini.ReadInteger("S", "dec", 0), 12);
    EXPECT_EQ(ini.ReadInteger("S", "hex", 0), 16);
    EXPECT_EQ(ini.ReadInteger("S", "neg", 0), -7);
    EXPECT_EQ(ini.ReadInteger("S", "missing", 42), 42);
    EXPECT_THROW(ini.ReadInteger("S", "text", 0), EConversionError);
    EXPECT_THROW(ini.ReadInteger("S", "empty", 0), EConversionError);

    for (const char* key : {"yes", "Y", "true", "one"})
        EXPECT_TRUE(ini.ReadBool("S", key, false)) << key;
    for (const char* key : {"no", "n", "false", "zero"})
        EXPECT_FALSE(ini.ReadBool("S", key, true)) << key;
    EXPECT_TRUE(ini.ReadBool("S", "other", true));
    EXPECT_FALSE(ini.ReadBool("S", "missing", false));
}

TEST_F(PlacementTest, MissingFileAndFolderAreCreatedAtTheEnd)
{
    const std::string nested = folder.File("gone/again/corvane.inf");
    {
        TAppIniFileStorage ini(nested);
        EXPECT_EQ(ini.Text(), "");
        ini.WriteInteger("Form1", "FormVersion", 0);
    }
    EXPECT_EQ(folder.Read("gone/again/corvane.inf"), "[Form1]\r\nFormVersion=0\r\n\r\n");
}

TEST_F(PlacementTest, ReadOnlyFileIsNeitherWrittenNorReported)
{
    folder.Write("corvane.inf", "[Form1]\r\nNormPos=10,20,166,367\r\n");
    ASSERT_EQ(::chmod(path().c_str(), 0444), 0);
    {
        ProgramRun run(path());
        run.show();
        run.window.moveTo(600, 200);
        run.close();
        EXPECT_TRUE(run.window.errors.empty());
    }
    EXPECT_EQ(folder.Read("corvane.inf"), "[Form1]\r\nNormPos=10,20,166,367\r\n");
    EXPECT_EQ(leftovers(), std::vector<std::string>());
}

TEST_F(PlacementTest, WriteThatFailsMidwayLeavesTheOldFileWhole)
{
    folder.Write("corvane.inf", SavedAt600x200);
    // A file size limit stops the write part way, as a full disk would; the limit binds root as well.
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    {
        TAppIniFileStorage ini(path());
        ini.WriteString("Form1", "Padding", std::string(4096, 'x'));
        rlimit small = saved;
        small.rlim_cur = 64;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(folder.Read("corvane.inf"), SavedAt600x200);
    EXPECT_EQ(leftovers(), std::vector<std::string>());
}

TEST_F(PlacementTest, WriteProtectedFolderKeepsTheOldFileSilently)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into a write-protected folder";
    folder.Write("corvane.inf", SavedAt600x200);
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0555), 0);
    {
        ProgramRun run(path());
        run.show();
        run.window.moveTo(10, 10);
        run.close();
        EXPECT_TRUE(run.window.errors.empty());
    }
    ::chmod(folder.Path().c_str(), 0755);
    EXPECT_EQ(folder.Read("corvane.inf"), SavedAt600x200);
}

TEST_F(PlacementTest, FileThatCannotBeReadIsNotReplaced)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads a file without read permission";
    folder.Write("corvane.inf", SavedAt600x200);
    ASSERT_EQ(::chmod(path().c_str(), 0200), 0);
    {
        ProgramRun run(path());
        run.show();
        run.close();
    }
    ::chmod(path().c_str(), 0644);
    EXPECT_EQ(folder.Read("corvane.inf"), SavedAt600x200);
}

// A plain top-level window standing in for the gadget: it notes where it was when its show ran, and its
// close handler can refuse.
class StandIn final : public QWidget
{
public:
    StandIn()
    {
        setObjectName(QStringLiteral("Form1"));
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        setFixedSize(156, 347);
        move(595, 251);
    }

    QPoint positionAtShow;
    bool refuseClose = false;

protected:
    void showEvent(QShowEvent* event) override
    {
        positionAtShow = frameGeometry().topLeft();
        QWidget::showEvent(event);
    }
    void closeEvent(QCloseEvent* event) override { event->setAccepted(!refuseClose); }
};

class WidgetPlacementTest : public PlacementTest
{
protected:
    void SetUp() override
    {
        MessageBox::SetRecording(true);
        MessageBox::ClearRecorded();
    }
    void TearDown() override { MessageBox::SetRecording(false); }

    static std::string dpi() { return std::to_string(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch())); }
    static std::string suffix()
    {
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        return "(" + std::to_string(screen.width()) + "x" + std::to_string(screen.height()) + ")";
    }
};

TEST_F(WidgetPlacementTest, FirstShowMovesTheWindowBeforeItIsShownAndCloseSaves)
{
    folder.Write("corvane.inf", "[Form1]\r\nPixelsPerInch=" + dpi() + "\r\nNormPos=600,200,756,547\r\nShowCmd=1\r\n");
    StandIn window;
    TAppIniFileStorage ini(path());
    TFormStorage store(ini, std::make_unique<TWidgetPlacementTarget>(&window));

    window.show();
    EXPECT_EQ(window.positionAtShow, QPoint(600, 200));
    EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(600, 200));

    window.move(300, 100);
    window.hide();
    window.show();
    EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(300, 100)) << "only the first show restores";

    window.refuseClose = true;
    EXPECT_FALSE(window.close());
    EXPECT_EQ(ini.ReadString("Form1", "NormPos", ""), "600,200,756,547") << "a refused close saves nothing";

    window.refuseClose = false;
    EXPECT_TRUE(window.close());
    EXPECT_EQ(ini.ReadString("Form1", "FormVersion", ""), "0");
    EXPECT_EQ(ini.ReadString("Form1", "ShowCmd", ""), "1");
    EXPECT_EQ(ini.ReadString("Form1", "Flags", ""), "0");
    EXPECT_EQ(ini.ReadString("Form1", "PixelsPerInch", ""), dpi());
    EXPECT_EQ(ini.ReadString("Form1", "MinMaxPos" + suffix(), ""), "-1,-1,-1,-1");
    EXPECT_EQ(ini.ReadString("Form1", "MinMaxPos", ""), "-1,-1,-1,-1");
    EXPECT_EQ(ini.ReadString("Form1", "NormPos" + suffix(), ""), "300,100,456,447");
    EXPECT_EQ(ini.ReadString("Form1", "NormPos", ""), "300,100,456,447");
    EXPECT_TRUE(MessageBox::Recorded().empty());
}

TEST_F(WidgetPlacementTest, HiddenWindowIsSavedAsANormalOne)
{
    StandIn window;
    TAppIniFileStorage ini(path());
    TFormStorage store(ini, std::make_unique<TWidgetPlacementTarget>(&window));
    window.show();
    window.move(320, 240);
    window.hide();
    EXPECT_TRUE(window.close());
    EXPECT_EQ(ini.ReadString("Form1", "ShowCmd", ""), "1");
    EXPECT_EQ(ini.ReadString("Form1", "NormPos", ""), "320,240,476,587");
}

TEST_F(WidgetPlacementTest, RestoreErrorGoesToTheErrorBoxAndTheWindowStillShows)
{
    folder.Write("corvane.inf", "[Form1]\r\nPixelsPerInch=" + dpi() + "\r\nNormPos=600,200\r\nShowCmd=max\r\n");
    StandIn window;
    TAppIniFileStorage ini(path());
    TFormStorage store(ini, std::make_unique<TWidgetPlacementTarget>(&window));
    window.show();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(600, 200));
    ASSERT_EQ(MessageBox::Recorded().size(), 1u);
    EXPECT_EQ(MessageBox::Recorded()[0].text, QStringLiteral("'max' is not a valid integer value."));
}

TEST_F(WidgetPlacementTest, WindowNeverShownSavesNothingWhenItGoes)
{
    {
        StandIn window;
        TAppIniFileStorage ini(path());
        TFormStorage store(ini, std::make_unique<TWidgetPlacementTarget>(&window));
    }
    EXPECT_EQ(folder.Read("corvane.inf"), "");
}

} // namespace
