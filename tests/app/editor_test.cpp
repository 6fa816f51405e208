#include "app/byte_text.h"
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

TEST_F(EditorTest, NamesThatLeaveTheResourceFolderAreRefusedAndTheEditorStaysOpen)
{
    folder.Write("dog.wav", "RIFF");
    folder.MakeFolder("list/sub");
    Form1->Aggiungirisorsa1Click();
    for (const char* name : {"../dog.wav", "/tmp/corvane-outside.cvr", "..", "sub/../../dog.wav", "sub/.."}) {
        MessageBox::ClearRecorded();
        Form_edit->nomefile->setText(QString::fromUtf8(name));
        Form_edit->Button1Click();
        EXPECT_EQ(lastBox(), QStringLiteral("Inserire un nome che resti nella cartella delle risorse")) << name;
        EXPECT_TRUE(Form_edit->isVisible()) << name;
    }
    EXPECT_EQ(folder.Read("dog.wav"), "RIFF");
    EXPECT_FALSE(std::filesystem::exists("/tmp/corvane-outside.cvr"));

    // Subfolders and names that merely hold dots are the resource folder's own.
    for (const char* name : {"sub/inner.cvr", "..a.cvr", "sub/./b..cvr"}) {
        MessageBox::ClearRecorded();
        Form_edit->nomefile->setText(QString::fromUtf8(name));
        Form_edit->Button1Click();
        EXPECT_EQ(lastBox(), QString()) << name;
        EXPECT_TRUE(folder.Exists(std::string("list/") + name)) << name;
        Form1->Aggiungirisorsa1Click();
    }
}

TEST_F(EditorTest, NamesAndTargetsThatAreNotUtf8ArePassedOnByteForByte)
{
    // "à" in Latin-1, a byte that is no UTF-8 on its own, beside a real UTF-8 "è".
    const std::string name = "citt\xe0 \xc3\xa8.cvr";
    const std::string target = "h\xe0st\xff";
    writeResource(name, target, "3");
    Form1->procupdate1Click();
    select(TextFromBytes(name));
    ASSERT_GE(Form1->listaproc->ItemIndex(), 0);
    EXPECT_TRUE(Form1->listaproc->Items()[Form1->listaproc->ItemIndex()].Text().contains(QStringLiteral("\u00e8")));
    Form1->Modificarisorsa1Click();
    Form_edit->spnPing->SetValue(5);
    Form_edit->Button1Click();
    EXPECT_EQ(folder.Read("list/" + name), target + "\r\n5\r\n");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.File("list")))
        ++files;
    EXPECT_EQ(files, 4) << "the same file, not one with a mangled name";
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
