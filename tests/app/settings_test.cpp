#include "app/alert_settings.h"
#include "app/form1.h"
#include "app/settings_file.h"
#include "app/timer.h"
#include "platform/program_folder.h"
#include "tests/support/temp_folder.h"
#include "ui/message_box.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const char* const FirstStartFile = "[Check]\r\n"
                                   "TimeCheck=15\r\n"
                                   "[Mail]\r\n"
                                   "host=ip smtp server\r\n"
                                   "port=port smtp server\r\n"
                                   "username=username smtp server\r\n"
                                   "pwd=key smtp server\r\n";

class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override { SetProgramFolderForTesting(folder.Path()); }
    void TearDown() override { SetProgramFolderForTesting(std::string()); }

    int32_t timeCheck(const std::string& value)
    {
        folder.Write("corvane.ini", "[Check]\r\nTimeCheck=" + value + "\r\n");
        return TSettingsFile(SettingsPath()).ReadInteger("Check", "TimeCheck", 20);
    }

    TempFolder folder;
};

TEST_F(SettingsTest, IntegersReadAsDecimalOrHexAndFallBackOtherwise)
{
    EXPECT_EQ(timeCheck("45"), 45);
    EXPECT_EQ(timeCheck("0x3C"), 60);
    EXPECT_EQ(timeCheck("0X1e"), 30);
    EXPECT_EQ(timeCheck(" 15"), 15);
    EXPECT_EQ(timeCheck("-5"), -5);
    EXPECT_EQ(timeCheck("45s"), 20);
    EXPECT_EQ(timeCheck(""), 20);
    EXPECT_EQ(timeCheck("0x"), 20);
    EXPECT_EQ(timeCheck("99999999999"), 20);
}

TEST_F(SettingsTest, FailedWriteNamesTheFile)
{
    SetProgramFolderForTesting(folder.Path() + "missing/");
    TSettingsFile ini(SettingsPath());
    try {
        ini.WriteInteger("Check", "TimeCheck", 30);
        FAIL();
    } catch (const ESettingsWriteError& error) {
        EXPECT_EQ(error.Message(), "Unable to write to " + folder.Path() + "missing/corvane.ini");
    }
}

TEST_F(SettingsTest, AlertKeysHaveDefaultsAndHandEditedValuesComeIntoRange)
{
    const auto read = [&](const std::string& content) {
        folder.Write("corvane.ini", content);
        return ReadAlertSettings(TSettingsFile(SettingsPath()));
    };
    const TAlertSettings firstStart = read(FirstStartFile);
    EXPECT_EQ(firstStart.DownAfter, 2);
    EXPECT_TRUE(firstStart.Notices);
    EXPECT_TRUE(firstStart.Mail);
    EXPECT_FALSE(firstStart.SendsMail()) << "the placeholder names no server";
    EXPECT_EQ(firstStart.MailUserName, "");
    EXPECT_EQ(firstStart.MailPassword, "");

    const struct
    {
        const char* value;
        int downAfter;
        bool on;
    } cases[] = {{"3", 3, true},     {"0", 1, false},  {"-4", 1, true}, {"5000", 1000, true},
                 {"0x10", 16, true}, {"due", 2, true}, {"", 2, true}};
    for (const auto& c : cases) {
        const TAlertSettings alerts
            = read(std::string("[Alerts]\nDownAfter=") + c.value + "\nNotices=" + c.value + "\nMail=" + c.value + "\n");
        EXPECT_EQ(alerts.DownAfter, c.downAfter) << c.value;
        EXPECT_EQ(alerts.Notices, c.on) << c.value;
        EXPECT_EQ(alerts.Mail, c.on) << c.value;
    }

    const TAlertSettings mail = read("[Mail]\nhost=smtp.example.org\nport=\nusername=anna@example.org\npwd=x\n");
    EXPECT_TRUE(mail.SendsMail());
    EXPECT_EQ(mail.MailTo, "anna@example.org") << "the user name when `to` is absent";
    EXPECT_EQ(read("[Mail]\nhost=h\nusername=u@x.org\nto=capo@x.org\n[Alerts]\nMail=0\n").MailTo, "capo@x.org");
    EXPECT_FALSE(read("[Mail]\nhost=h\n[Alerts]\nMail=0\n").SendsMail());
}

class StartupSettingsTest : public SettingsTest
{
protected:
    std::unique_ptr<TForm1> createMainWindow()
    {
        auto form = std::make_unique<TForm1>();
        Form1 = form.get();
        form->FormCreate();
        return form;
    }
    void TearDown() override
    {
        Form1 = nullptr;
        SettingsTest::TearDown();
    }
};

TEST_F(StartupSettingsTest, FirstStartWritesTheFiveEntriesAndArmsTheTimer)
{
    const auto form = createMainWindow();
    EXPECT_EQ(folder.Read("corvane.ini"), FirstStartFile);
    struct stat st
    {
    };
    ::stat(folder.File("corvane.ini").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the file holds a mail password";
    EXPECT_TRUE(form->Timer1->Enabled());
    EXPECT_EQ(form->Timer1->Interval(), 15000u);
}

TEST_F(StartupSettingsTest, ExistingFileIsReadAndLeftAsItIs)
{
    const struct
    {
        const char* content;
        uint32_t interval;
    } cases[] = {
        {"[Check]\r\nTimeCheck=0x1E\r\n", 30000},
        {"[Check]\nTimeCheck=45s\n", 20000},
        {"[Mail]\r\nhost=x\r\n", 20000},
        {"garbage\r\n\r\n=\r\n[", 20000},
        {"[check]\r\ntimecheck=7\r\nTimeCheck=8\r\n", 7000},
        // 0 turns automatic cycles off; an interval the timer cannot keep is brought into the settings
        // dialog's range; the rest stay.
        {"[Check]\r\nTimeCheck=0\r\n", 0},
        {"[Check]\r\nTimeCheck=-5\r\n", 20000},
        {"[Check]\r\nTimeCheck=4294968\r\n", 100000000},
        {"[Check]\r\nTimeCheck=2147483647\r\n", 100000000},
        {"[Check]\r\nTimeCheck=4294967\r\n", 4294967000},
        {"[Check]\r\nTimeCheck=1\r\n", 1000},
    };
    for (const auto& c : cases) {
        folder.Write("corvane.ini", c.content);
        const auto form = createMainWindow();
        EXPECT_EQ(form->Timer1->Interval(), c.interval) << c.content;
        EXPECT_TRUE(form->Timer1->Enabled());
        EXPECT_EQ(folder.Read("corvane.ini"), c.content);
    }
}

TEST_F(StartupSettingsTest, ReadOnlySettingsFileIsStillRead)
{
    folder.Write("corvane.ini", "[Check]\r\nTimeCheck=42\r\n");
    ::chmod(folder.File("corvane.ini").c_str(), 0444);
    const auto form = createMainWindow();
    EXPECT_EQ(form->Timer1->Interval(), 42000u);
}

TEST_F(StartupSettingsTest, UncreatableSettingsFileLeavesTheTimerOff)
{
    SetProgramFolderForTesting(folder.Path() + "missing/");
    auto form = std::make_unique<TForm1>();
    Form1 = form.get();
    EXPECT_THROW(form->FormCreate(), ESettingsWriteError);
    EXPECT_FALSE(form->Timer1->Enabled());
    EXPECT_EQ(form->Timer1->Interval(), 20000u);
}

// A cycle disables the timer and arms it again when it ends; the next tick must not come early.
TEST(TimerTest, ATickNeverComesBeforeAFullIntervalAfterTheTimerWasArmed)
{
    constexpr qint64 IntervalNs = 60'000'000;
    TTimer timer;
    timer.SetInterval(60);
    QElapsedTimer armed;
    std::vector<qint64> early;
    int ticks = 0;
    timer.OnTimer = [&] {
        if (armed.nsecsElapsed() < IntervalNs)
            early.push_back(armed.nsecsElapsed());
        ++ticks;
        timer.SetEnabled(false);
        armed.start();
        timer.SetEnabled(true);
    };
    armed.start();
    timer.SetEnabled(true);
    QElapsedTimer clock;
    clock.start();
    while (ticks < 30 && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_EQ(ticks, 30);
    EXPECT_TRUE(early.empty()) << early.size() << " ticks early, the first after " << early.front() << " ns";
}

} // namespace
