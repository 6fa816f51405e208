// The about box: its lines in their places, the machine's figures, and buttons and links that open pages.
#include "app/chrome_look.h"
#include "platform/shell_open.h"
#include "tests/support/temp_folder.h"
#include "ui/about_dlg.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class RecordingOpener final : public IShellOpener
{
public:
    void Open(const std::string& target) override { opened.push_back(target); }
    std::vector<std::string> opened;
};

class AboutDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetUpAboutBox(about, QStringLiteral("https://corvane.example.org/corvane.php"));
        about.SystemInfo = [] {
            TSystemInfo info;
            info.MemoryKb = 16318500;
            info.Processors = 4;
            info.ProcessorName = "Example CPU 3000";
            return info;
        };
        about.OnCustomClick = [this] { ++customClicks; };
        SetShellOpenerForTesting(opener);
    }
    void TearDown() override { SetShellOpenerForTesting(nullptr); }

    template<class T = QLabel>
    static T* part(QDialog& dialog, const char* name)
    {
        return dialog.findChild<T*>(QLatin1String(name));
    }

    TAboutDlg about;
    int customClicks = 0;
    std::shared_ptr<RecordingOpener> opener = std::make_shared<RecordingOpener>();
};

TEST_F(AboutDlgTest, LinesStackInOneColumnAboveTheMachineFiguresAndTheButtons)
{
    const auto dialog = about.CreateDialog(nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Info su Corvane"));
    EXPECT_EQ(dialog->width(), 404);

    const QWidget* name = dialog->findChild<QWidget*>(QStringLiteral("Appname"));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->geometry().topLeft(), QPoint(60, 12));
    EXPECT_EQ(name->width(), 404 - 70);
    EXPECT_TRUE(name->font().bold());
    EXPECT_EQ(name->font().pointSize(), 18);

    QLabel* version = part(*dialog, "Version");
    EXPECT_EQ(version->text(), QStringLiteral("1.0.0.0 RC"));
    EXPECT_EQ(version->y(), 66) << "the version line starts no higher than 66";
    EXPECT_TRUE(version->font().bold());
    QLabel* description = part(*dialog, "Description");
    EXPECT_EQ(description->text(), QStringLiteral("Net Device Monitor"));
    EXPECT_EQ(description->y(), version->geometry().bottom() + 1 + 4);
    QLabel* copyright = part(*dialog, "Copyright");
    EXPECT_EQ(copyright->y(), description->geometry().bottom() + 1 + 24);
    QLabel* jump = part(*dialog, "Jump");
    EXPECT_EQ(jump->text(), QStringLiteral("https://corvane.example.org"));
    EXPECT_TRUE(jump->font().underline());
    EXPECT_EQ(jump->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QLabel* mail = part(*dialog, "EMail");
    EXPECT_EQ(mail->y(), jump->geometry().bottom() + 1 + 3);

    EXPECT_EQ(part(*dialog, "SystemNames")->text(), QStringLiteral("Available Memory:\nPlatform, CPU:"));
    QLabel* values = part(*dialog, "SystemValues");
    EXPECT_EQ(values->text(), QStringLiteral("16318500 KB\n4x Example CPU 3000 or compatible"));
    EXPECT_EQ(values->x(), part(*dialog, "SystemNames")->geometry().right() + 1);

    auto* ok = part<QPushButton>(*dialog, "OK");
    auto* visit = part<QPushButton>(*dialog, "CustomButton");
    ASSERT_TRUE(ok && visit);
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(ok->geometry().right(), 404 - 6 - 1);
    EXPECT_EQ(visit->text(), QStringLiteral("Visita il sito"));
    EXPECT_EQ(visit->geometry().right(), ok->x() - 6 - 1);
    EXPECT_EQ(ok->y(), values->geometry().bottom() + 1 + 24);
    const QWidget* client = ok->parentWidget();
    EXPECT_EQ(client->height(), ok->geometry().bottom() + 1 + 6);
    EXPECT_EQ(dialog->height(), client->geometry().bottom() + 1) << "the client ends the box, below its caption";

    about.CustomButton.clear();
    EXPECT_FALSE(part<QPushButton>(*about.CreateDialog(nullptr), "CustomButton")) << "no caption, no button";
}

TEST_F(AboutDlgTest, ExecuteIsModalItsLinksOpenTheSiteAndTheMailerAndOkEndsIt)
{
    bool checked = false;
    QTimer::singleShot(400, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        QTest::mouseClick(part<QPushButton>(*dialog, "CustomButton"), Qt::LeftButton);
        QTest::mouseClick(part(*dialog, "Jump"), Qt::LeftButton);
        QTest::mouseClick(part(*dialog, "EMail"), Qt::LeftButton);
        checked = true;
        QTest::mouseClick(part<QPushButton>(*dialog, "OK"), Qt::LeftButton);
    });
    about.Execute(nullptr);
    EXPECT_TRUE(checked);
    EXPECT_EQ(customClicks, 1);
    EXPECT_EQ(opener->opened,
              (std::vector<std::string> {"https://corvane.example.org", "mailto:info@corvane.example.org"}));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(AboutDlgTest, UnreadableKernelFilesStillGiveTheBoxNeutralFigures)
{
    about.SystemInfo = [] { return ReadSystemInfo("/nonexistent/meminfo", "/nonexistent/cpuinfo"); };
    const auto dialog = about.CreateDialog(nullptr);
    const QString values = part(*dialog, "SystemValues")->text();
    EXPECT_TRUE(values.contains(QStringLiteral(" KB\n"))) << values.toStdString();
    EXPECT_TRUE(values.endsWith(QStringLiteral(" or compatible"))) << values.toStdString();
}

// Names as the kernel gives them: each line shows to its end, wrapped within the column where it must.
TEST_F(AboutDlgTest, CommonProcessorNamesAreShownToTheirEnd)
{
    for (const char* name : {"Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz", "AMD Ryzen 7 PRO 4750U with Radeon Graphics",
                             "Intel(R) Xeon(R) Platinum 8375C CPU @ 2.90GHz"}) {
        about.SystemInfo = [name] {
            TSystemInfo info;
            info.MemoryKb = 65536000;
            info.Processors = 16;
            info.ProcessorName = name;
            return info;
        };
        const auto dialog = about.CreateDialog(nullptr);
        QLabel* values = part(*dialog, "SystemValues");
        EXPECT_TRUE(values->text().endsWith(QStringLiteral(" or compatible")));
        const QRect needed
            = values->fontMetrics().boundingRect(QRect(0, 0, values->width(), 10000), Qt::TextWordWrap, values->text());
        EXPECT_LE(needed.width(), values->width()) << name;
        EXPECT_LE(needed.height(), values->height()) << name;
        EXPECT_LE(values->geometry().bottom() + 24, part<QPushButton>(*dialog, "OK")->y()) << name;
    }
}

// The real shell opener, with an xdg-open that knows no mail program: the mail link greys out, the web link
// stays as it was.
TEST_F(AboutDlgTest, ALinkTheDesktopCannotOpenIsDisabled)
{
    SetShellOpenerForTesting(nullptr);
    TempFolder bin;
    bin.Write("xdg-open", "#!/bin/sh\ncase \"$1\" in mailto:*) exit 3;; esac\nexit 0\n");
    ::chmod(bin.File("xdg-open").c_str(), 0755);
    const std::string path = std::getenv("PATH");
    ::setenv("PATH", (bin.Path() + ":" + path).c_str(), 1);
    const auto dialog = about.CreateDialog(nullptr);
    dialog->show();
    QLabel* jump = part(*dialog, "Jump");
    QLabel* mail = part(*dialog, "EMail");
    QTest::mouseClick(jump, Qt::LeftButton);
    QTest::mouseClick(mail, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!mail->isEnabled(), 5000);
    QTest::qWait(300);
    EXPECT_TRUE(jump->isEnabled());
    ::setenv("PATH", path.c_str(), 1);
}

TEST_F(AboutDlgTest, TheCaptionBarIsAGradientThatClosesTheBox)
{
    const auto dialog = about.CreateDialog(nullptr);
    auto* caption = dialog->findChild<QWidget*>(QStringLiteral("CaptionBar"));
    ASSERT_TRUE(caption);
    EXPECT_TRUE(dialog->windowFlags().testFlag(Qt::FramelessWindowHint)) << "no second caption from the window manager";
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Info su Corvane"));
    const QImage bar = caption->grab().toImage();
    const QColor left = bar.pixelColor(1, bar.height() - 2), right = bar.pixelColor(bar.width() / 2, bar.height() - 2);
    EXPECT_NE(left, right) << "a gradient, not one colour";
    dialog->show();
    QTest::mouseClick(dialog->findChild<QToolButton*>(QStringLiteral("CaptionClose")), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
}

} // namespace
