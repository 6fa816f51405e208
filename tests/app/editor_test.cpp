#include "app/form1.h"
#include "app/form_edit.h"
#include "app/form_res.h"
#include "platform/exception.h"
#include "platform/file_errors.h"
#include "tests/app/app_fixture.h"
#include "ui/image_list_box.h"
#include "ui/spin_edit.h"

#include <QLineEdit>

#include <filesystem>

namespace {

class EditorTest : public AppWindowsTest
{
protected:
    void SetUp() override
    {
        AppWindowsTest::SetUp();
        writeResource("router.cvr", "10.0.0.1", "4");
        writeResource("big.cvr", "10.0.0.2", "75");
        writeResource("bad.cvr", "10.0.0.3", "abc");
        startProgram();
    }

    void select(const QString& name)
    {
        for (int i = 0; i < Form1->listaproc->Items().Count(); ++i)
            if (Form1->listaproc->Items()[i].Text() == name)
                Form1->listaproc->SetItemIndex(i);
    }
};

TEST_F(EditorTest, AddProposesANewNameAndWritesTheFileWithoutRefreshingTheList)
{
    Form1->Aggiungirisorsa1Click();
    EXPECT_TRUE(Form_edit->isVisible());
    EXPECT_EQ(Form_edit->windowTitle(), QStringLiteral("Corvane - Aggiungi risorsa"));
    EXPECT_EQ(Form_edit->nomefile->text(), QStringLiteral("Nuova risorsa.cvr"));
    EXPECT_EQ(Form_edit->edtHost->text(), QStringLiteral("localhost"));
    EXPECT_EQ(Form_edit->spnPing->Value(), 4);
    Form_edit->Button1Click();
    EXPECT_FALSE(Form_edit->isVisible());
    EXPECT_EQ(folder.Read("list/Nuova risorsa.cvr"), "localhost\r\n4\r\n");
    EXPECT_EQ(Form1->listaproc->Items().Count(), 3) << "a new resource shows at the next refresh";

    // A second add keeps what the fields held and replaces a file of the same name without asking.
    Form_edit->edtHost->setText(QStringLiteral("192.168.1.1"));
    Form1->Aggiungirisorsa1Click();
    EXPECT_EQ(Form_edit->edtHost->text(), QStringLiteral("192.168.1.1"));
    Form_edit->Button1Click();
    EXPECT_EQ(folder.Read("list/Nuova risorsa.cvr"), "192.168.1.1\r\n4\r\n");
}

TEST_F(EditorTest, OkRefusesEmptyFieldsWithTheirMessagesAndStaysOpen)
{
    Form1->Aggiungirisorsa1Click();
    Form_edit->nomefile->clear();
    Form_edit->Button1Click();
    EXPECT_EQ(lastBox(), QStringLiteral("Inserire il nome da assegnare alla risorsa"));
    EXPECT_EQ(MessageBox::Recorded().back().kind, MessageBox::Kind::Information);
    EXPECT_TRUE(Form_edit->isVisible());

    Form_edit->nomefile->setText(QStringLiteral("x.cvr"));
    Form_edit->edtHost->clear();
    Form_edit->Button1Click();
    EXPECT_EQ(lastBox(), QStringLiteral("Inserire il nome del sito oppure un IP oppure il nome di rete della risorsa"));
    EXPECT_TRUE(Form_edit->isVisible());
    EXPECT_FALSE(folder.Exists("list/x.cvr"));

    // Blanks are not empty.
    Form_edit->edtHost->setText(QStringLiteral(" "));
    Form_edit->Button1Click();
    EXPECT_EQ(folder.Read("list/x.cvr"), " \r\n4\r\n");
}

TEST_F(EditorTest, ModifyBringsTheCountIntoRangeAndWritesIt)
{
    select(QStringLiteral("big.cvr"));
    Form1->Modificarisorsa1Click();
    EXPECT_EQ(Form_edit->windowTitle(), QStringLiteral("Corvane - Modifica risorsa"));
    EXPECT_EQ(Form_edit->nomefile->text(), QStringLiteral("big.cvr"));
    EXPECT_EQ(Form_edit->edtHost->text(), QStringLiteral("10.0.0.2"));
    EXPECT_EQ(Form_edit->spnPing->Value(), 40);
    Form_edit->Button1Click();
    EXPECT_EQ(folder.Read("list/big.cvr"), "10.0.0.2\r\n40\r\n");
}

TEST_F(EditorTest, RenameWritesANewFileAndLeavesTheOld)
{
    select(QStringLiteral("router.cvr"));
    Form1->Modificarisorsa1Click();
    Form_edit->nomefile->setText(QStringLiteral("gateway.cvr"));
    Form_edit->Button1Click();
    EXPECT_EQ(folder.Read("list/gateway.cvr"), "10.0.0.1\r\n4\r\n");
    EXPECT_EQ(folder.Read("list/router.cvr"), "10.0.0.1\r\n4\r\n");
}

TEST_F(EditorTest, ModifyFailuresLeaveTheEditorClosed)
{
    try {
        Form1->Modificarisorsa1Click();
        FAIL();
    } catch (const EListIndexError& error) {
        EXPECT_EQ(error.Message(), "List index out of bounds (-1)");
    }
    EXPECT_EQ(Form_edit->windowTitle(), QStringLiteral("Corvane - Modifica risorsa"));
    EXPECT_FALSE(Form_edit->isVisible());

    select(QStringLiteral("bad.cvr"));
    try {
        Form1->Modificarisorsa1Click();
        FAIL();
    } catch (const EConversionError& error) {
        EXPECT_EQ(error.Message(), "'abc' is not a valid integer value");
    }
    EXPECT_FALSE(Form_edit->isVisible());
    EXPECT_EQ(Form_edit->nomefile->text(), QStringLiteral("bad.cvr"));
    EXPECT_EQ(Form_edit->edtHost->text(), QStringLiteral("10.0.0.3"));

    select(QStringLiteral("router.cvr"));
    std::filesystem::remove(folder.File("list/router.cvr"));
    EXPECT_THROW(Form1->Modificarisorsa1Click(), EFileOpenError);
    EXPECT_FALSE(Form_edit->isVisible());
}

TEST_F(EditorTest, DoubleClickOpensTheEditorOnThatResource)
{
    select(QStringLiteral("router.cvr"));
    Form1->listaproc->OnDblClick();
    EXPECT_TRUE(Form_edit->isVisible());
    EXPECT_EQ(Form_edit->nomefile->text(), QStringLiteral("router.cvr"));
}

TEST_F(EditorTest, CancelHidesAndKeepsTheFields)
{
    Form1->Aggiungirisorsa1Click();
    Form_edit->edtHost->setText(QStringLiteral("kept.example"));
    Form_edit->Button2Click();
    EXPECT_FALSE(Form_edit->isVisible());
    EXPECT_FALSE(folder.Exists("list/Nuova risorsa.cvr"));
    EXPECT_EQ(Form_edit->edtHost->text(), QStringLiteral("kept.example"));
}

TEST_F(EditorTest, OkWithoutAResourceFolderReportsTheFileAndStaysOpen)
{
    Form1->Aggiungirisorsa1Click();
    std::filesystem::remove_all(folder.File("list"));
    try {
        Form_edit->Button1Click();
        FAIL();
    } catch (const EFileCreateError& error) {
        EXPECT_EQ(error.Message(),
                  "Cannot create file \"" + folder.Path() + "list/Nuova risorsa.cvr\". No such file or directory");
    }
    EXPECT_TRUE(Form_edit->isVisible());
}

TEST_F(EditorTest, DeleteRemovesTheSelectedFileAndRebuildsTheList)
{
    try {
        Form1->Eliminarisorsa1Click();
        FAIL();
    } catch (const EListIndexError& error) {
        EXPECT_EQ(error.Message(), "List index out of bounds (-1)");
    }
    EXPECT_TRUE(folder.Exists("list/router.cvr"));
    EXPECT_EQ(Form1->listaproc->Items().Count(), 3);

    Form1->listaproc->Items()[0].SetImageIndex(2);
    select(QStringLiteral("router.cvr"));
    Form1->Eliminarisorsa1Click();
    EXPECT_FALSE(folder.Exists("list/router.cvr"));
    ASSERT_EQ(Form1->listaproc->Items().Count(), 2);
    EXPECT_EQ(Form1->listaproc->Items()[0].Text(), QStringLiteral("bad.cvr"));
    EXPECT_EQ(Form1->listaproc->Items()[0].ImageIndex(), 0);
    EXPECT_EQ(Form1->listaproc->Items()[1].ImageIndex(), 0);
}

} // namespace
