// Monitoring cycles over real resources: loopback and hosts of the test's own network namespace.
#include "app/form1.h"
#include "app/form_res.h"
#include "app/wave_player.h"
#include "platform/exception.h"
#include "platform/file_errors.h"
#include "tests/app/app_fixture.h"
#include "tests/support/fake_host.h"
#include "tests/support/ipv6_hosts.h"
#include "tests/support/machine_stall.h"
#include "tests/support/run_round.h"
#include "tests/support/silent_resolver.h"
#include "ui/image_list_box.h"
#include "ui/latency_tip.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
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

    static void runRound() { EXPECT_TRUE(RunRound()) << "the round did not end"; }

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
        runRound();
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
    runRound();
    EXPECT_EQ(status(0), 2);
    EXPECT_EQ(status(1), 1);
    EXPECT_EQ(player->files.size(), 1u);
}

TEST_F(CycleTest, Ipv6HostsThatAnswerAreGreenAndASilentOneRedBesideIpv4)
{
    Ipv6TestHosts hosts;
    if (!hosts.Ready())
        GTEST_SKIP() << hosts.Error();
    writeResource("a.cvr", "::1", "1");
    writeResource("b.cvr", Ipv6TestHosts::Answering, "1");
    writeResource("c.cvr", Ipv6TestHosts::Ipv6OnlyName, "1");
    writeResource("d.cvr", Ipv6TestHosts::Silent, "1");
    writeResource("e.cvr", "127.0.0.1", "1");
    startProgram();
    runRound();
    EXPECT_EQ((std::vector<int> {status(0), status(1), status(2), status(3), status(4)}),
              (std::vector<int> {1, 1, 1, 2, 1}));
    EXPECT_EQ(player->files.size(), 1u);
}

TEST_F(CycleTest, AnUnreadableResourceIsRedWithItsErrorAndTheRoundGoesOnPastIt)
{
    writeResource("a.cvr", "127.0.0.1", "1");
    writeResource("b.cvr", "127.0.0.1", "abc");
    folder.Write("list/c.cvr", "127.0.0.1\r\n"); // no count line
    writeResource("d.cvr", "127.0.0.1", "1");
    startProgram();
    runRound();
    QCoreApplication::processEvents();
    EXPECT_EQ((std::vector<int> {status(0), status(1), status(2), status(3)}), (std::vector<int> {1, 2, 2, 1}));
    ASSERT_EQ(MessageBox::Recorded().size(), 2u);
    EXPECT_EQ(MessageBox::Recorded()[0].text, QStringLiteral("'abc' is not a valid integer value."));
    EXPECT_EQ(MessageBox::Recorded()[1].text, QStringLiteral("'' is not a valid integer value."));
    EXPECT_EQ(player->files.size(), 2u);
    EXPECT_EQ(Form1->ResourceStates().Find("b.cvr")->LastRound().Error, "'abc' is not a valid integer value");

    // Told once until the file changes; the next round pings past it as before.
    runRound();
    QCoreApplication::processEvents();
    EXPECT_EQ(MessageBox::Recorded().size(), 2u);
    EXPECT_EQ(status(3), 1);
    writeResource("b.cvr", "127.0.0.1", "4x");
    runRound();
    QCoreApplication::processEvents();
    ASSERT_EQ(MessageBox::Recorded().size(), 3u);
    EXPECT_EQ(lastBox(), QStringLiteral("'4x' is not a valid integer value."));
    EXPECT_TRUE(Form1->Timer1->Enabled());
    EXPECT_TRUE(Form1->initping1->isEnabled());
}

TEST_F(CycleTest, EmptyFolderRunsNoPingerAndRearmsTheTimer)
{
    startProgram();
    runRound();
    EXPECT_EQ(Form1->listaproc->Items().Count(), 0);
    EXPECT_TRUE(Form1->Timer1->Enabled());
}

TEST_F(CycleTest, MissingFolderEndsTheCycleAndTheTimerComesBack)
{
    writeResource("a.cvr", "127.0.0.1", "1");
    startProgram();
    std::filesystem::remove_all(folder.File("list"));
    Form1->initping1Click();
    EXPECT_EQ(lastBox(), QStringLiteral("File not found."));
    EXPECT_EQ(Form1->listaproc->Items().Count(), 1) << "the old list stays";
    EXPECT_TRUE(Form1->Timer1->Enabled()) << "a folder that was briefly away must not end monitoring";
}

TEST_F(CycleTest, FailingRoundsNeverPileErrorBoxesOnTheOneThatIsOpen)
{
    writeResource("a.cvr", "127.0.0.1", "1");
    startProgram();
    std::filesystem::remove_all(folder.File("list"));
    MessageBox::SetRecording(false);
    Form1->Timer1->SetInterval(60);
    // Real boxes: later ticks fail inside the first box's event loop. Each is answered after half a second.
    size_t most = 0, answered = 0;
    QElapsedTimer shown;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, &probe, [&] {
        std::vector<QMessageBox*> boxes;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                boxes.push_back(box);
        most = std::max(most, boxes.size());
        if (boxes.empty()) {
            shown.invalidate();
            return;
        }
        if (!shown.isValid())
            shown.start();
        if (boxes.size() > 1 || shown.elapsed() > 500) {
            EXPECT_TRUE(Form1->Timer1->Enabled());
            answered = boxes.size() > 1 ? 2 : answered + 1; // piled up: unwind them all and stop
            Form1->Timer1->SetEnabled(answered < 2);
            for (QMessageBox* box : boxes)
                box->accept();
        }
    });
    probe.start(10);
    QElapsedTimer clock;
    clock.start();
    while (answered < 2 && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    MessageBox::SetRecording(true);
    EXPECT_EQ(most, 1u);
    EXPECT_EQ(answered, 2u) << "a round failing after the box was answered shows the next one";
}

TEST_F(CycleTest, CommandsThatWouldDisturbARunningRoundAreRefusedAndACloseEndsItAtOnce)
{
    const auto host = startFakeHost();
    host->Set("10.77.0.4", {FakeHost::Answer::Silence});
    writeResource("a.cvr", "10.77.0.4", "4");
    writeResource("b.cvr", "10.77.0.4", "4");
    startProgram();
    bool checked = false;
    QTimer::singleShot(300, Form1, [&] {
        checked = true;
        EXPECT_TRUE(Form1->CycleRunning());
        EXPECT_FALSE(Form1->initping1->isEnabled());
        EXPECT_FALSE(Form1->Eliminarisorsa1->isEnabled());
        EXPECT_FALSE(Form1->Eliminarisorsa2->isEnabled());
        Form1->listaproc->SetItemIndex(0);
        Form1->Eliminarisorsa1Click(); // refused: the list is in use
        Form1->initping1Click(); // refused: one round at a time
        Form1->gg1Click(); // "&Esci": the round stops where it is and the window closes
        EXPECT_FALSE(Form1->isVisible());
        EXPECT_FALSE(Form1->CycleRunning());
    });
    Form1->show();
    Form1->initping1Click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return checked; }, 5000));
    QTest::qWait(1500);
    ASSERT_TRUE(checked);
    EXPECT_TRUE(folder.Exists("list/a.cvr"));
    EXPECT_EQ(host->RequestsSeen("10.77.0.4"), 1) << "nothing more is sent after the close";
    EXPECT_EQ(status(0), 3) << "a run broken off for the close is neither green nor red";
    EXPECT_EQ(status(1), 0);
    EXPECT_TRUE(player->files.empty());
}

TEST_F(CycleTest, AModalBoxOpenedDuringARoundHoldsNeitherTheRoundNorItsRoundTrips)
{
    const auto host = startFakeHost();
    host->Set("10.77.0.6", {FakeHost::Answer::EchoReply, 100});
    writeResource("a.cvr", "10.77.0.6", "1");
    writeResource("b.cvr", "10.77.0.6", "2");
    startProgram();
    // Opened during the first wait and answered two seconds later: the round has ended under it.
    bool endedUnderTheBox = false;
    QTimer::singleShot(50, Form1, [&] {
        QDialog box(Form1);
        QTimer::singleShot(2000, &box, [&] {
            endedUnderTheBox = !Form1->CycleRunning();
            box.accept();
        });
        box.exec();
    });
    EXPECT_EQ(watch(1), (std::vector<int> {0, 3, 1}));
    EXPECT_TRUE(endedUnderTheBox);
    EXPECT_EQ(host->RequestsSeen("10.77.0.6"), 3);
    const TRoundResult& round = Form1->ResourceStates().Find("a.cvr")->LastRound();
    EXPECT_EQ(round.Received, 1);
    EXPECT_GE(round.MaxUs, 95'000u);
    EXPECT_LE(round.MaxUs, 400'000u) << "the time the box was open is not the host's";
    EXPECT_TRUE(player->files.empty());
}

TEST_F(CycleTest, AParallelRoundEndsInAboutOneTimeOutWhereASequentialOneWaitsBehindEachSilentHost)
{
    const auto host = startFakeHost();
    for (const char* silent : {"10.77.0.11", "10.77.0.12", "10.77.0.13"})
        host->Set(silent, {FakeHost::Answer::Silence});
    host->Set("10.77.0.14", {FakeHost::Answer::EchoReply, 20});
    writeResource("a.cvr", "10.77.0.11", "2");
    writeResource("b.cvr", "10.77.0.12", "2");
    writeResource("c.cvr", "no-such-host.invalid", "1");
    writeResource("d.cvr", "10.77.0.13", "2");
    writeResource("e.cvr", "10.77.0.14", "3");
    writeResource("f.cvr", "127.0.0.1", "1");
    startProgram();
    const auto statuses = [&] {
        std::vector<int> all;
        for (int row = 0; row < 6; ++row)
            all.push_back(status(row));
        return all;
    };
    const std::vector<int> expected {2, 2, 2, 2, 1, 1};

    folder.Write("corvane.ini", "[Check]\r\nTimeCheck=0\r\nParallel=1\r\n");
    std::vector<int> early;
    QTimer::singleShot(500, Form1, [&] { early = statuses(); });
    QElapsedTimer clock;
    clock.start();
    runRound();
    const qint64 parallel = clock.elapsed();
    EXPECT_GE(parallel, 1900);
    EXPECT_LE(parallel, 3500) << "every host at once: the longest run, two time-outs";
    EXPECT_EQ(early, (std::vector<int> {3, 3, 2, 3, 1, 1})) << "every run under way at once";
    EXPECT_EQ(statuses(), expected);
    EXPECT_EQ(player->files.size(), 1u) << "one bark a round, however many hosts fail";
    EXPECT_EQ(host->RequestsSeen("10.77.0.11"), 2);
    EXPECT_EQ(host->RequestsSeen("10.77.0.14"), 3);

    folder.Write("corvane.ini", "[Check]\r\nTimeCheck=0\r\n");
    QTimer::singleShot(500, Form1, [&] { early = statuses(); });
    clock.start();
    runRound();
    EXPECT_GE(clock.elapsed(), 6000) << "one after another, behind each silent host";
    EXPECT_EQ(early, (std::vector<int> {3, 0, 0, 0, 0, 0}));
    EXPECT_EQ(statuses(), expected);
    EXPECT_EQ(player->files.size(), 1u + 4u) << "each failing resource barks";
    EXPECT_EQ(Form1->ResourceStates().Find("e.cvr")->LastRound().Received, 3);
}

TEST_F(CycleTest, TheGadgetKeepsAnsweringThroughSilentHostsAndASlowLookUp)
{
    const auto host = startFakeHost();
    SilentResolver resolver(1);
    if (!resolver.Ready())
        GTEST_SKIP() << resolver.Error();
    host->Set("10.77.0.9", {FakeHost::Answer::Silence});
    writeResource("a.cvr", "10.77.0.9", "1");
    writeResource("b.cvr", SilentResolver::SlowName, "1");
    writeResource("c.cvr", "127.0.0.1", "1");
    startProgram();
    Form1->show();
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, &ticks, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
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
    std::vector<int> hourglassAfter; // requests the silent host had seen when its hourglass was painted
    probe.onPaint = [&] {
        if (status(0) == 3)
            hourglassAfter.push_back(host->RequestsSeen("10.77.0.9"));
    };
    Form1->listaproc->viewport()->installEventFilter(&probe);
    const MachineStall machine;
    clock.start();
    ticks.start(5);
    runRound();
    Form1->listaproc->viewport()->removeEventFilter(&probe);
    EXPECT_GE(clock.elapsed(), 1900) << "a second of silence and a second of lookup";
    EXPECT_LE(longest, 100 + machine.LongestMs()) << "the longest the gadget went without handling an event";
    ASSERT_FALSE(hourglassAfter.empty());
    EXPECT_EQ(hourglassAfter.front(), 0);
    EXPECT_EQ((std::vector<int> {status(0), status(1), status(2)}), (std::vector<int> {2, 2, 1}));
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

TEST_F(CycleTest, ARowsTipTellsWhatTheRoundsFoundAndFollowsTheNextRound)
{
    const auto host = startFakeHost();
    host->Set("10.77.0.2", {FakeHost::Answer::Silence});
    writeResource("a loopback.cvr", "127.0.0.1", "3");
    writeResource("b silent.cvr", "10.77.0.2", "1");
    startProgram();
    Form1->show();
    runRound();
    runRound();
    writeResource("c new.cvr", "127.0.0.1", "1");
    Form1->procupdate1Click();

    TImageListBox* list = Form1->listaproc;
    list->SetTipDelay(0);
    const auto* tip = Form1->findChild<TLatencyTip*>();
    ASSERT_NE(tip, nullptr);
    const auto linesOf = [&](int row) {
        QTest::mouseMove(list->viewport(), QPoint(50, row * 17 + 3));
        QTest::mouseMove(list->viewport(), QPoint(40, row * 17 + 8));
        EXPECT_TRUE(QTest::qWaitFor([&] { return list->TipRow() == row && tip->isVisible(); }, 2000)) << row;
        return tip->Lines().join(QLatin1Char('|')).toStdString();
    };
    EXPECT_THAT(linesOf(0),
                ::testing::MatchesRegex("127\\.0\\.0\\.1\\|Ultimo giro: 3/3 risposte, "
                                        "[0-9]+,[0-9]{1,2} / [0-9]+,[0-9]{1,2} / [0-9]+,[0-9]{1,2} ms\\|"
                                        "Senza risposta: 0 giri su 2 \\(0%\\)\\|Risponde dalle [0-9:]{5}"));
    EXPECT_EQ(linesOf(1),
              "10.77.0.2|Ultimo giro: 0/1 risposte|Senza risposta: 2 giri su 2 (100%)|"
              "Non ha ancora risposto");
    EXPECT_EQ(linesOf(2), "c new.cvr|Non ancora controllata.");

    // A round under a resting pointer: the tip stays on its row and takes in the new round.
    linesOf(1);
    runRound();
    QTest::qWait(50);
    EXPECT_EQ(list->TipRow(), 1);
    EXPECT_TRUE(tip->isVisible());
    EXPECT_EQ(tip->Lines().value(2), QStringLiteral("Senza risposta: 3 giri su 3 (100%)"));
}

} // namespace
