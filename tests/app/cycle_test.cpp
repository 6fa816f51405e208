// Monitoring cycles over real resources: loopback and hosts of the test's own network namespace.
#include "app/form1.h"
#include "app/form_res.h"
#include "app/wave_player.h"
#include "platform/exception.h"
#include "platform/file_errors.h"
#include "tests/app/app_fixture.h"
#include "tests/support/fake_host.h"
#include "tests/support/silent_resolver.h"
#include "ui/image_list_box.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <unistd.h>

namespace {

class CountingPlayer final : public ISoundPlayer
{
public:
    void PlayFile(const std::string& path) override
    {
        files.push_back(path);
        times.push_back(clock.elapsed());
    }
    std::vector<std::string> files;
    std::vector<qint64> times;
    QElapsedTimer clock;
};

class CycleTest : public AppWindowsTest
{
protected:
    void SetUp() override
    {
        if (!std::getenv("CORVANE_ISOLATED") || ::geteuid() != 0)
            GTEST_SKIP() << "needs root inside scripts/run-isolated (CTest runs it that way)";
        AppWindowsTest::SetUp();
        player = std::make_shared<CountingPlayer>();
        player->clock.start();
        TWavePlayer::SetPlayerForTesting(player);
    }

    void TearDown() override
    {
        TWavePlayer::SetPlayerForTesting(nullptr);
        AppWindowsTest::TearDown();
    }

    int status(int row) const { return Form1->listaproc->Items()[row].ImageIndex(); }

    // Records each distinct status of `row` seen while the cycle dispatches events.
    std::vector<int> watch(int row)
    {
        std::vector<int> seen;
        auto* probe = new QTimer(Form1);
        probe->setInterval(0);
        QObject::connect(probe, &QTimer::timeout, probe, [this, row, &seen] {
            if (row < Form1->listaproc->Items().Count()) {
                const int s = status(row);
                if (seen.empty() || seen.back() != s)
                    seen.push_back(s);
            }
        });
        probe->start();
        Form1->initping1Click();
        probe->stop();
        delete probe;
        if (seen.empty() || seen.back() != status(row))
            seen.push_back(status(row));
        return seen;
    }

    std::unique_ptr<FakeHost> startFakeHost()
    {
        auto host = std::make_unique<FakeHost>();
        if (!host->Ready())
            ADD_FAILURE() << host->Error();
        return host;
    }

    std::shared_ptr<CountingPlayer> player;
};

TEST_F(CycleTest, AnsweringHostGoesFromHourglassToGreenWithoutAlarm)
{
    writeResource("loopback.cvr", "127.0.0.1", "3");
    startProgram();
    EXPECT_EQ(status(0), 0);
    const std::vector<int> seen = watch(0);
    EXPECT_EQ(seen, (std::vector<int> {3, 1})) << "hourglass during the first echo, green after it and at the end";
    EXPECT_TRUE(player->files.empty());
    EXPECT_TRUE(Form1->Timer1->Enabled());
}

TEST_F(CycleTest, SilentHostShowsTheHourglassThenTheErrorAndOneAlarm)
{
    const auto host = startFakeHost();
    host->Set("10.77.0.2", {FakeHost::Answer::Silence});
    writeResource("silent.cvr", "10.77.0.2", "2");
    startProgram();
    QElapsedTimer clock;
    clock.start();
    const std::vector<int> seen = watch(0);
    EXPECT_GE(clock.elapsed(), 1900);
    EXPECT_LE(clock.elapsed(), 3000);
    EXPECT_EQ(seen, (std::vector<int> {3, 2})) << "no green for a host that never answered";
    EXPECT_EQ(host->RequestsSeen("10.77.0.2"), 2);
    ASSERT_EQ(player->files.size(), 1u);
    EXPECT_EQ(player->files[0], folder.Path() + "dog.wav");
}

TEST_F(CycleTest, HostAnsweringTheSecondRequestIsUp)
{
    const auto host = startFakeHost();
    host->Set("10.77.0.3", {FakeHost::Answer::EchoReply, 0, 2});
    writeResource("late.cvr", "10.77.0.3", "2");
    startProgram();
    EXPECT_EQ(watch(0), (std::vector<int> {3, 1}));
    EXPECT_TRUE(player->files.empty());
}

TEST_F(CycleTest, UnresolvableNameFailsAloneAndTheNextResourceIsPinged)
{
    writeResource("a.cvr", "no-such-host.invalid", "4");
    writeResource("b.cvr", "127.0.0.1", "1");
    startProgram();
    Form1->initping1Click();
    EXPECT_EQ(status(0), 2);
    EXPECT_EQ(status(1), 1);
    EXPECT_EQ(player->files.size(), 1u);
}

TEST_F(CycleTest, BadCountStopsTheCycleAtItsResourceAndTheTimerComesBack)
{
    writeResource("a.cvr", "127.0.0.1", "1");
    writeResource("b.cvr", "127.0.0.1", "abc");
    writeResource("c.cvr", "127.0.0.1", "1");
    startProgram();
    Form1->initping1Click();
    EXPECT_EQ(lastBox(), QStringLiteral("'abc' is not a valid integer value."));
    EXPECT_EQ(status(0), 1);
    EXPECT_EQ(status(1), 0);
    EXPECT_EQ(status(2), 0);
    // One garbage file must not end monitoring for good while the gadget looks alive.
    EXPECT_TRUE(Form1->Timer1->Enabled());
    EXPECT_TRUE(Form1->initping1->isEnabled());
}

TEST_F(CycleTest, EmptyFolderRunsNoPingerAndRearmsTheTimer)
{
    startProgram();
    Form1->initping1Click();
    EXPECT_EQ(Form1->listaproc->Items().Count(), 0);
    EXPECT_TRUE(Form1->Timer1->Enabled());
}

TEST_F(CycleTest, MissingFolderEndsTheCycleAndTheNextTickTriesAgain)
{
    writeResource("a.cvr", "127.0.0.1", "1");
    startProgram();
    std::filesystem::remove_all(folder.File("list"));
    Form1->initping1Click();
    EXPECT_EQ(lastBox(), QStringLiteral("File not found."));
    EXPECT_EQ(Form1->listaproc->Items().Count(), 1) << "the old list stays";
    EXPECT_TRUE(Form1->Timer1->Enabled());
    // The folder is back before the next tick: monitoring goes on by itself.
    folder.MakeFolder("list");
    writeResource("a.cvr", "127.0.0.1", "1");
    Form1->Timer1->SetInterval(50);
    QElapsedTimer clock;
    clock.start();
    while (status(0) != 1 && clock.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_EQ(status(0), 1);
    EXPECT_EQ(MessageBox::Recorded().size(), 1u);
}

TEST_F(CycleTest, FailingCyclesNeverPileErrorBoxesOnTheOneThatIsOpen)
{
    writeResource("a.cvr", "no-such-host.invalid", "1");
    writeResource("b.cvr", "127.0.0.1", "abc");
    startProgram();
    MessageBox::SetRecording(false);
    Form1->Timer1->SetInterval(60);
    // The first failing tick opens a real box; later ticks fail inside its event loop until it is closed.
    size_t mostBoxes = 0;
    int boxesSeen = 0;
    QPointer<QMessageBox> current;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, &probe, [&] {
        size_t boxes = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                ++boxes;
                if (box != current)
                    ++boxesSeen, current = box;
            }
        mostBoxes = std::max(mostBoxes, boxes);
        if (boxes > 1) {
            // Piled up: unwind them all, so the test fails instead of nesting boxes for ever.
            Form1->Timer1->SetEnabled(false);
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                    box->accept();
            boxesSeen = 2;
            return;
        }
        // Each box is answered after a while; the timer must still be armed then.
        if (current && current->isVisible() && player->files.size() >= 4u * static_cast<size_t>(boxesSeen)) {
            EXPECT_TRUE(Form1->Timer1->Enabled());
            if (boxesSeen == 2)
                Form1->Timer1->SetEnabled(false);
            current->accept();
        }
    });
    probe.start();
    QElapsedTimer clock;
    clock.start();
    while (boxesSeen < 2 && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    probe.stop();
    MessageBox::SetRecording(true);
    EXPECT_EQ(mostBoxes, 1u);
    EXPECT_EQ(boxesSeen, 2) << "a cycle that fails after the box was answered shows the next one";
    EXPECT_GE(player->files.size(), 8u) << "cycles went on while a box was open";
}

TEST_F(CycleTest, CommandsThatWouldDisturbARunningCycleAreRefusedAndACloseEndsItFirst)
{
    const auto host = startFakeHost();
    host->Set("10.77.0.4", {FakeHost::Answer::Silence});
    writeResource("a.cvr", "10.77.0.4", "4");
    writeResource("b.cvr", "10.77.0.4", "4");
    startProgram();
    bool checked = false;
    QElapsedTimer clock;
    QTimer::singleShot(300, Form1, [&] {
        checked = true;
        EXPECT_TRUE(Form1->CycleRunning());
        EXPECT_FALSE(Form1->initping1->isEnabled());
        EXPECT_FALSE(Form1->Eliminarisorsa1->isEnabled());
        EXPECT_FALSE(Form1->Eliminarisorsa2->isEnabled());
        Form1->listaproc->SetItemIndex(0);
        Form1->Eliminarisorsa1Click(); // refused: the list is in use
        Form1->initping1Click(); // refused: one cycle at a time
        clock.start();
        Form1->gg1Click(); // "&Esci": the cycle ends at its next wait, then the window closes
        EXPECT_TRUE(Form1->isVisible());
    });
    Form1->show();
    Form1->initping1Click();
    ASSERT_TRUE(checked);
    EXPECT_LE(clock.elapsed(), 200) << "a silent host's eight seconds are not waited for";
    EXPECT_TRUE(folder.Exists("list/a.cvr"));
    EXPECT_EQ(host->RequestsSeen("10.77.0.4"), 1);
    EXPECT_EQ(status(0), 3) << "a run broken off for the close is neither green nor red";
    EXPECT_TRUE(player->files.empty());
    EXPECT_FALSE(Form1->CycleRunning());
    EXPECT_TRUE(Form1->isVisible()) << "the window closes from the event loop, after the cycle";
    QCoreApplication::processEvents();
    EXPECT_FALSE(Form1->isVisible());
}

TEST_F(CycleTest, AModalBoxOpenedMidWaitDelaysTheResultWithoutCorruptingIt)
{
    const auto host = startFakeHost();
    host->Set("10.77.0.6", {FakeHost::Answer::EchoReply, 100});
    writeResource("a.cvr", "10.77.0.6", "1");
    startProgram();
    // Opened during the first wait and answered after the reply came and the whole budget passed.
    QTimer::singleShot(50, Form1, [] {
        QDialog box(Form1);
        QTimer::singleShot(1500, &box, &QDialog::accept);
        box.exec();
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(watch(0), (std::vector<int> {3, 1}));
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_EQ(host->RequestsSeen("10.77.0.6"), 1);
    EXPECT_TRUE(player->files.empty());
}

TEST_F(CycleTest, TheHourglassIsOnTheScreenBeforeTheFirstRequestLeaves)
{
    const auto host = startFakeHost();
    host->Set("10.77.0.7", {FakeHost::Answer::Silence});
    host->Set("10.77.0.8", {FakeHost::Answer::EchoReply});
    writeResource("a.cvr", "10.77.0.7", "1");
    writeResource("b.cvr", "10.77.0.8", "1");
    startProgram();
    Form1->show();
    QCoreApplication::processEvents();
    struct PaintProbe : QObject
    {
        std::function<void()> onPaint;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                onPaint();
            return false;
        }
    } probe;
    std::vector<std::string> painted;
    probe.onPaint = [&] {
        for (int row = 0; row < 2; ++row)
            if (status(row) == 3)
                painted.push_back(std::to_string(row) + " after "
                                  + std::to_string(host->RequestsSeen(row ? "10.77.0.8" : "10.77.0.7")));
    };
    Form1->listaproc->viewport()->installEventFilter(&probe);
    Form1->initping1Click();
    Form1->listaproc->viewport()->removeEventFilter(&probe);
    ASSERT_GE(painted.size(), 2u);
    EXPECT_EQ(painted.front(), "0 after 0");
    EXPECT_NE(std::find(painted.begin(), painted.end(), "1 after 0"), painted.end())
        << "the second resource's hourglass too, though the first one's echo failed";
}

TEST_F(CycleTest, TheGadgetKeepsAnsweringThroughSilentHostsAndASlowLookUp)
{
    const auto host = startFakeHost();
    host->Set("10.77.0.9", {FakeHost::Answer::Silence});
    SilentResolver resolver(1);
    if (!resolver.Ready())
        GTEST_SKIP() << resolver.Error();
    writeResource("a.cvr", "10.77.0.9", "1");
    writeResource("b.cvr", SilentResolver::SlowName, "1");
    writeResource("c.cvr", "127.0.0.1", "1");
    startProgram();
    Form1->show();
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer ticks;
    ticks.setInterval(5);
    QObject::connect(&ticks, &QTimer::timeout, &ticks, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    clock.start();
    ticks.start();
    Form1->initping1Click();
    ticks.stop();
    EXPECT_GE(clock.elapsed(), 1900) << "a second of silence and a second of lookup";
    EXPECT_LE(longest, 100) << "the longest the gadget went without handling an event";
    EXPECT_EQ(status(0), 2);
    EXPECT_EQ(status(1), 2);
    EXPECT_EQ(status(2), 1);
    EXPECT_EQ(player->files.size(), 2u);
}

TEST_F(CycleTest, NextCycleStartsOneFullIntervalAfterTheLastEnded)
{
    const auto host = startFakeHost();
    host->Set("10.77.0.5", {FakeHost::Answer::Silence});
    writeResource("silent.cvr", "10.77.0.5", "1");
    folder.Write("corvane.ini", "[Check]\r\nTimeCheck=1\r\n");
    startProgram();
    Form1->Timer1->SetInterval(500);
    // Each cycle takes about a second and ends with the alarm; the pause after it is the interval.
    QElapsedTimer clock;
    clock.start();
    while (player->times.size() < 3 && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_GE(player->times.size(), 3u);
    for (size_t i = 1; i < 3; ++i) {
        const qint64 gap = player->times[i] - player->times[i - 1];
        EXPECT_GE(gap, 1000 + 500 - 50) << "cycle " << i;
        EXPECT_LE(gap, 1000 + 500 + 600) << "cycle " << i;
    }
}

} // namespace
