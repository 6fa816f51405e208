// Monitoring cycles over real resources: loopback and hosts of the test's own network namespace.
#include "app/form1.h"
#include "app/form_res.h"
#include "app/wave_player.h"
#include "platform/exception.h"
#include "platform/file_errors.h"
#include "tests/app/app_fixture.h"
#include "tests/support/fake_host.h"
#include "ui/image_list_box.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
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

TEST_F(CycleTest, BadCountStopsTheCycleAtItsResourceAndLeavesTheTimerOff)
{
    writeResource("a.cvr", "127.0.0.1", "1");
    writeResource("b.cvr", "127.0.0.1", "abc");
    writeResource("c.cvr", "127.0.0.1", "1");
    startProgram();
    try {
        Form1->initping1Click();
        FAIL();
    } catch (const EConversionError& error) {
        EXPECT_EQ(error.Message(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(status(0), 1);
    EXPECT_EQ(status(1), 0);
    EXPECT_EQ(status(2), 0);
    EXPECT_FALSE(Form1->Timer1->Enabled()) << "no further cycle runs by itself";
    EXPECT_TRUE(Form1->initping1->isEnabled()) << "a cycle can still be started by hand";
}

TEST_F(CycleTest, EmptyFolderRunsNoPingerAndRearmsTheTimer)
{
    startProgram();
    Form1->initping1Click();
    EXPECT_EQ(Form1->listaproc->Items().Count(), 0);
    EXPECT_TRUE(Form1->Timer1->Enabled());
}

TEST_F(CycleTest, MissingFolderEndsTheCycleWithTheTimerOff)
{
    writeResource("a.cvr", "127.0.0.1", "1");
    startProgram();
    std::filesystem::remove_all(folder.File("list"));
    try {
        Form1->initping1Click();
        FAIL();
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.Message(), "File not found");
    }
    EXPECT_EQ(Form1->listaproc->Items().Count(), 1) << "the old list stays";
    EXPECT_FALSE(Form1->Timer1->Enabled());
}

TEST_F(CycleTest, CommandsThatWouldDisturbARunningCycleWaitForItsEnd)
{
    const auto host = startFakeHost();
    host->Set("10.77.0.4", {FakeHost::Answer::EchoReply, 100});
    writeResource("a.cvr", "10.77.0.4", "2");
    writeResource("b.cvr", "10.77.0.4", "1");
    startProgram();
    bool checked = false;
    QTimer::singleShot(0, Form1, [&] {
        checked = true;
        EXPECT_TRUE(Form1->CycleRunning());
        EXPECT_FALSE(Form1->initping1->isEnabled());
        EXPECT_FALSE(Form1->Eliminarisorsa1->isEnabled());
        EXPECT_FALSE(Form1->Eliminarisorsa2->isEnabled());
        Form1->listaproc->SetItemIndex(0);
        Form1->Eliminarisorsa1Click(); // refused: the list is in use
        Form1->initping1Click(); // refused: one cycle at a time
        Form1->close(); // carried out once the cycle is over
        EXPECT_TRUE(Form1->isVisible());
    });
    Form1->show();
    Form1->initping1Click();
    EXPECT_TRUE(checked);
    EXPECT_TRUE(folder.Exists("list/a.cvr"));
    EXPECT_EQ(host->RequestsSeen("10.77.0.4"), 3);
    EXPECT_TRUE(Form1->initping1->isEnabled());
    QCoreApplication::processEvents();
    EXPECT_FALSE(Form1->isVisible()) << "the close asked for during the cycle";
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
