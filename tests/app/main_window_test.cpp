#include "app/form1.h"
#include "app/form_edit.h"
#include "app/form_res.h"
#include "platform/shell_open.h"
#include "tests/app/app_fixture.h"
#include "ui/image.h"
#include "ui/image_list_box.h"
#include "ui/tray_icon.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

namespace {

class RecordingOpener final : public IShellOpener
{
public:
    void Open(const std::string& target) override { opened.push_back(target); }
    std::vector<std::string> opened;
};

QStringList captions(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

class MainWindowTest : public AppWindowsTest
{
protected:
    void SetUp() override
    {
        AppWindowsTest::SetUp();
        writeResource("b.cvr", "127.0.0.1", "1");
        writeResource("A.cvr", "127.0.0.1", "1");
        startProgram();
    }
};

TEST_F(MainWindowTest, StartUpListsTheResourcesAtStatusZero)
{
    ASSERT_EQ(Form1->listaproc->Items().Count(), 2);
    EXPECT_EQ(Form1->listaproc->Items()[0].Text(), QStringLiteral("A.cvr"));
    EXPECT_EQ(Form1->listaproc->Items()[1].Text(), QStringLiteral("b.cvr"));
    EXPECT_EQ(Form1->listaproc->Items()[1].ImageIndex(), 0);
    EXPECT_TRUE(MessageBox::Recorded().empty());
    EXPECT_EQ(Form1->size(), QSize(156, 347));
    EXPECT_EQ(Form1->pos(), QPoint(595, 251));
    EXPECT_EQ(Form1->listaproc->geometry(), QRect(16, 40, 121, 81));
    EXPECT_EQ(Form1->Image1->toolTip(), QStringLiteral("Corvane - Attivo"));
    EXPECT_TRUE(Form1->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(Form1->windowFlags() & Qt::FramelessWindowHint);
}

TEST_F(MainWindowTest, MenusCarryEveryCommandInOrder)
{
    EXPECT_EQ(captions(Form1->BarPopupMenu1),
              (QStringList {QStringLiteral("Risorse"), QStringLiteral("Avvia i &processi immediatamente"),
                            QStringLiteral("proc_update"), QStringLiteral("&Impostazioni"), QStringLiteral("-"),
                            QStringLiteral("Ve&rifica aggiornamenti"), QStringLiteral("Visita sito &web"),
                            QStringLiteral("In&formazioni"), QStringLiteral("-"),
                            QStringLiteral("&Visualizza/Nascondi"), QStringLiteral("&Esci")}));
    EXPECT_FALSE(Form1->procupdate1->isVisible());
    EXPECT_EQ(
        captions(Form1->Risorse1->menu()),
        (QStringList {QStringLiteral("&Aggiungi risorsa"), QStringLiteral("&Modifica risorsa"),
                      QStringLiteral("Visualizza/Nascondi"), QStringLiteral("-"), QStringLiteral("&Elimina risorsa")}));
    EXPECT_EQ(captions(Form1->BarPopupMenu2),
              (QStringList {QStringLiteral("&Aggiungi risorsa"), QStringLiteral("&Modifica risorsa"),
                            QStringLiteral("-"), QStringLiteral("&Elimina risorsa")}));
    EXPECT_EQ(Form1->listaproc->PopupMenu(), Form1->BarPopupMenu2);
}

TEST_F(MainWindowTest, OpeningTheMenusGivesEveryItemAUniqueMnemonicUnderTheBanner)
{
    QStringList before = captions(Form1->BarPopupMenu1);
    Form1->BarPopupMenu1->popup(QPoint(100, 100));
    QCoreApplication::processEvents();
    before[0] = QStringLiteral("Ri&sorse");
    EXPECT_EQ(captions(Form1->BarPopupMenu1), before) << "only the item without one changes";
    EXPECT_EQ(Form1->BarPopupMenu1->BannerHeight(), Form1->BarPopupMenu1->height() - 6);
    QMenu* risorse = Form1->Risorse1->menu();
    risorse->popup(QPoint(300, 100));
    QCoreApplication::processEvents();
    EXPECT_EQ(Form1->Processi1->text(), QStringLiteral("&Visualizza/Nascondi"));
    EXPECT_EQ(risorse->actionGeometry(risorse->actions().at(3)).height(), 9) << "the submenu keeps its separator";
    risorse->close();
    Form1->BarPopupMenu1->close();

    Form1->BarPopupMenu2->popup(QPoint(100, 100));
    QCoreApplication::processEvents();
    EXPECT_GT(Form1->BarPopupMenu2->BannerHeight(), 0) << "the list's menu carries the banner too";
    Form1->BarPopupMenu2->close();
    EXPECT_EQ(Form1->TrayIcon1->PopupMenu(), Form1->BarPopupMenu1) << "the tray icon opens the main menu";
}

TEST_F(MainWindowTest, AboutCommandOpensTheBoxWhoseSiteButtonOpensTheProductPage)
{
    auto opener = std::make_shared<RecordingOpener>();
    SetShellOpenerForTesting(opener);
    QString title;
    QTimer::singleShot(400, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        title = box->windowTitle();
        auto* visit = box->findChild<QPushButton*>(QStringLiteral("CustomButton"));
        QTest::mouseClick(visit, Qt::LeftButton);
        QTest::mouseClick(visit, Qt::LeftButton);
        EXPECT_TRUE(box->isVisible()) << "the box stays open";
        QTest::keyClick(box, Qt::Key_Escape);
    });
    Form1->About1Click();
    SetShellOpenerForTesting(nullptr);
    EXPECT_EQ(title, QStringLiteral("Info su Corvane"));
    EXPECT_EQ(opener->opened, (std::vector<std::string> {ProductPageUrl(), ProductPageUrl()}));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindowTest, MenuCommandsRunOnceControlIsBackInTheEventLoop)
{
    Form1->Aggiungirisorsa2->trigger();
    EXPECT_FALSE(Form_edit->isVisible());
    QCoreApplication::processEvents();
    EXPECT_TRUE(Form_edit->isVisible());
}

TEST_F(MainWindowTest, ListToggleHidesBubbleLabelAndListButNotTheDog)
{
    Form1->show();
    Form1->Processi1Click();
    EXPECT_FALSE(Form1->Image2->isVisible());
    EXPECT_FALSE(Form1->Label1->isVisible());
    EXPECT_FALSE(Form1->listaproc->isVisible());
    EXPECT_TRUE(Form1->Image1->isVisible());
    EXPECT_FALSE(Form1->mask().contains(QPoint(78, 100))) << "the bubble's place is see-through";
    Form1->Processi1Click();
    EXPECT_TRUE(Form1->Image2->isVisible());
    EXPECT_TRUE(Form1->listaproc->isVisible());
    EXPECT_TRUE(Form1->mask().contains(QPoint(78, 100)));
}

TEST_F(MainWindowTest, WindowToggleKeepsTheGadgetShownWhileThereIsNoTrayToBringItBack)
{
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "the offscreen platform has no notification area";
    Form1->show();
    Form1->VisualizzaNascondi1Click();
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_TRUE(lastBox().contains(QStringLiteral("area di notifica"))) << lastBox().toStdString();
    // Showing needs no tray: a gadget hidden by other means comes back.
    Form1->hide();
    Form1->VisualizzaNascondi1Click();
    EXPECT_TRUE(Form1->isVisible());
}

TEST_F(MainWindowTest, DesktopListsTheGadgetAsCorvaneInTheDesktopsColours)
{
    EXPECT_EQ(Form1->objectName(), QStringLiteral("Form1"));
    EXPECT_EQ(Form1->windowTitle(), QStringLiteral("Corvane"));
    const QPalette bar = Form1->listaproc->verticalScrollBar()->palette();
    for (auto role : {QPalette::Window, QPalette::Button, QPalette::Base})
        EXPECT_EQ(bar.color(role), QApplication::palette().color(role)) << "not the key colour: role " << role;
    EXPECT_GE(Form1->Label1->height(), QFontMetrics(Form1->Label1->font()).height()) << "descenders fit";
}

// Start-up dispatches events (a box, the update check) before every window exists, and the tray icon's
// menu is live: its commands must wait, and a close must not be lost.
TEST(StartupGuardTest, CommandsBeforeStartupFinishedAreRefusedAndACloseWaitsForIt)
{
    TempFolder folder;
    SetProgramFolderForTesting(folder.Path());
    MessageBox::SetRecording(true);
    {
        TForm1 form; // alone: no editor, settings dialog or resource holder yet
        for (QAction* action : {form.Aggiungirisorsa2, form.Modificarisorsa1, form.Eliminarisorsa2, form.Opzioni1,
                                form.initping1, form.dd1, form.gg1})
            action->trigger();
        form.show();
        QCoreApplication::processEvents();
        EXPECT_FALSE(form.Closed());
        form.StartupFinished();
        QCoreApplication::processEvents();
        EXPECT_TRUE(form.Closed()) << "the close asked for during start-up";
    }
    MessageBox::SetRecording(false);
    SetProgramFolderForTesting(std::string());
}

TEST_F(MainWindowTest, WebCommandsOpenTheProductPage)
{
    auto opener = std::make_shared<RecordingOpener>();
    SetShellOpenerForTesting(opener);
    Form1->ff1Click();
    Form1->aboutCustomClick();
    SetShellOpenerForTesting(nullptr);
    ASSERT_EQ(opener->opened.size(), 2u);
    EXPECT_EQ(opener->opened[0], ProductPageUrl());
    EXPECT_TRUE(ProductPageUrl().ends_with("/corvane.php"));
}

TEST_F(MainWindowTest, ShapeCutsOutEveryKeyColouredPixel)
{
    Form1->show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(Form1->listaproc->verticalScrollBar()->isVisible()) << "two rows fit";
    const QRegion shape = Form1->mask();
    EXPECT_FALSE(shape.isEmpty());
    EXPECT_FALSE(shape.contains(QPoint(0, 346))) << "a corner of the dog picture is ground";
    const QImage shown = Form1->grab().toImage();
    for (const QRect& r : shape)
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c(shown.pixel(x, y));
                ASSERT_FALSE(c.red() > 200 && c.green() > 200 && c.blue() < 80) << x << "," << y;
            }
}

} // namespace
