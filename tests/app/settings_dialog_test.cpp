#include "app/byte_text.h"
#include "app/form1.h"
#include "app/form_opz.h"
#include "app/settings_file.h"
#include "tests/app/app_fixture.h"
#include "ui/labeled_edit.h"
#include "ui/spin_edit.h"

#include <QPushButton>
#include <QTest>

#include <string>
#include <sys/stat.h>
#include <utility>

namespace {

class SettingsDialogTest : public AppWindowsTest
{
protected:
    void SetUp() override
    {
        AppWindowsTest::SetUp();
        folder.Write("corvane.ini",
                     "; kept comment\r\n"
                     "[Check]\r\n"
                     "TimeCheck=45\r\n"
                     "[Mail]\r\n"
                     "host=smtp.example.org\r\n"
                     "port=25\r\n"
                     "username=me\r\n"
                     "pwd=secret\r\n"
                     "[Mine]\r\n"
                     "other=1\r\n");
        startProgram();
    }
};

TEST_F(SettingsDialogTest, ShowsWhatTheFileHoldsSoOkKeepsIt)
{
    Form1->Opzioni1Click();
    EXPECT_TRUE(Form_opz->isVisible());
    EXPECT_EQ(Form_opz->windowTitle(), QStringLiteral("Corvane - Impostazioni"));
    EXPECT_EQ(Form_opz->SpinEdit1->Value(), 45);
    EXPECT_EQ(Form_opz->LabeledEdit1->text(), QStringLiteral("smtp.example.org"));
    EXPECT_EQ(Form_opz->LabeledEdit4->text(), QStringLiteral("secret"));
    EXPECT_EQ(Form_opz->LabeledEdit3->cursorPosition(), 0) << "a long value shows its start";
    const std::string before = folder.Read("corvane.ini");
    Form_opz->Button1Click();
    EXPECT_FALSE(Form_opz->isVisible());
    EXPECT_EQ(folder.Read("corvane.ini"), before);
}

TEST_F(SettingsDialogTest, OkWritesTheFiveEntriesAndKeepsEveryOtherLine)
{
    Form1->Opzioni1Click();
    Form_opz->SpinEdit1->SetValue(30);
    Form_opz->LabeledEdit1->setText(QStringLiteral("mail.example.org"));
    Form_opz->LabeledEdit2->clear();
    Form_opz->LabeledEdit3->setText(QStringLiteral("someone"));
    Form_opz->LabeledEdit4->setText(QStringLiteral("p=w;d"));
    Form_opz->Button1Click();
    EXPECT_EQ(folder.Read("corvane.ini"),
              "; kept comment\r\n"
              "[Check]\r\n"
              "TimeCheck=30\r\n"
              "[Mail]\r\n"
              "host=mail.example.org\r\n"
              "port=\r\n"
              "username=someone\r\n"
              "pwd=p=w;d\r\n"
              "[Mine]\r\n"
              "other=1\r\n");
    EXPECT_EQ(Form1->Timer1->Interval(), 45000u) << "the running timer keeps its interval";
}

TEST_F(SettingsDialogTest, ValuesComeBackExactlyAsStoredAndAPasswordMakesTheFilePrivate)
{
    ::chmod(folder.File("corvane.ini").c_str(), 0644);
    Form1->Opzioni1Click();
    const QString password = QStringLiteral(" \"pw\" ");
    const std::string host = "smtp.citt\xe0.example"; // a Latin-1 byte
    Form_opz->LabeledEdit1->setText(TextFromBytes(host));
    Form_opz->LabeledEdit3->setText(QStringLiteral("'me'"));
    Form_opz->LabeledEdit4->setText(password);
    Form_opz->Button1Click();
    const std::string written = folder.Read("corvane.ini");
    EXPECT_NE(written.find("host=" + host + "\r\n"), std::string::npos);
    EXPECT_NE(written.find("pwd=\" \"pw\" \"\r\n"), std::string::npos);
    struct stat st
    {
    };
    ::stat(folder.File("corvane.ini").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "others may not read a password";

    // The next showing reads what was written, and OK writes it again unchanged.
    Form_opz->LabeledEdit1->clear();
    Form_opz->LabeledEdit4->clear();
    Form_opz->hide();
    Form1->Opzioni1Click();
    EXPECT_EQ(BytesFromText(Form_opz->LabeledEdit1->text()), host);
    EXPECT_EQ(Form_opz->LabeledEdit3->text(), QStringLiteral("'me'"));
    EXPECT_EQ(Form_opz->LabeledEdit4->text(), password);
    Form_opz->Button1Click();
    EXPECT_EQ(folder.Read("corvane.ini"), written);
}

TEST_F(SettingsDialogTest, IntervalTypedOutOfRangeIsClampedWhenOkIsClicked)
{
    Form1->Opzioni1Click();
    QApplication::setActiveWindow(Form_opz);
    Form_opz->SpinEdit1->setFocus();
    Form_opz->SpinEdit1->SetText(QStringLiteral("150000"));
    QTest::mouseClick(Form_opz->Button1, Qt::LeftButton);
    EXPECT_EQ(Form_opz->SpinEdit1->Text(), QStringLiteral("100000"));
    EXPECT_EQ(TSettingsFile(SettingsPath()).ReadInteger("Check", "TimeCheck", 0), 100000);
}

TEST_F(SettingsDialogTest, IntervalTypedOutOfRangeIsClampedWhenOkIsChosenFromTheKeyboard)
{
    Form1->Opzioni1Click();
    QApplication::setActiveWindow(Form_opz);
    for (const auto& [typed, kept] : {std::pair {"5", "20"}, std::pair {"150000", "100000"}}) {
        Form_opz->show();
        Form_opz->SpinEdit1->setFocus();
        Form_opz->SpinEdit1->SetText(QString::fromLatin1(typed));
        // Alt+O leaves the focus in the field, so the field never applies its range itself.
        QTest::keyClick(Form_opz->SpinEdit1, Qt::Key_O, Qt::AltModifier);
        QTRY_VERIFY(!Form_opz->isVisible());
        EXPECT_EQ(Form_opz->SpinEdit1->Text(), QString::fromLatin1(kept));
        EXPECT_EQ(TSettingsFile(SettingsPath()).ReadInteger("Check", "TimeCheck", 0), std::stoi(kept));
    }
}

TEST_F(SettingsDialogTest, ShortIntervalsFromTheFileAreBroughtUpToTheMinimum)
{
    folder.Write("corvane.ini", "[Check]\r\nTimeCheck=15\r\n");
    Form1->Opzioni1Click();
    EXPECT_EQ(Form_opz->SpinEdit1->Value(), 20);
    EXPECT_EQ(Form_opz->LabeledEdit1->text(), QString());
}

TEST_F(SettingsDialogTest, CloseBoxWritesNothing)
{
    Form1->Opzioni1Click();
    Form_opz->SpinEdit1->SetValue(99);
    const std::string before = folder.Read("corvane.ini");
    Form_opz->close();
    EXPECT_FALSE(Form_opz->isVisible());
    EXPECT_EQ(folder.Read("corvane.ini"), before);
}

TEST_F(SettingsDialogTest, FailedWriteKeepsTheDialogOpen)
{
    Form1->Opzioni1Click();
    ::chmod(folder.File("corvane.ini").c_str(), 0444);
    try {
        Form_opz->Button1Click();
        FAIL();
    } catch (const ESettingsWriteError& error) {
        EXPECT_EQ(error.Message(), "Unable to write to " + folder.Path() + "corvane.ini");
    }
    EXPECT_TRUE(Form_opz->isVisible());
}

} // namespace
