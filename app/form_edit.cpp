#include "app/form_edit.h"

#include "app/byte_text.h"
#include "app/form_res.h"
#include "app/resource_store.h"
#include "probes/check_target.h"
#include "ui/form_style.h"
#include "ui/message_box.h"
#include "ui/spin_edit.h"
#include "ui/tool_window.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

TForm_edit* Form_edit = nullptr;

TForm_edit::TForm_edit()
{
    setObjectName(QStringLiteral("Form_edit"));
    // A tool window's close box hides it, like Cancel; no button answers Enter or Escape.
    MakeToolWindow(this);
    setWindowTitle(QStringLiteral("Corvane -"));
    setFont(FormFont());
    setFixedSize(278, 209);
    move(343, 197);

    Label3 = new QLabel(QStringLiteral("Nomefile"), this);
    Label3->move(12, 8);
    Label3->adjustSize();
    nomefile = new QLineEdit(QStringLiteral("nomefile"), this);
    nomefile->setGeometry(12, 24, 253, 21);
    QPalette green = nomefile->palette();
    green.setColor(QPalette::Base, QColor(183, 255, 183));
    green.setColor(QPalette::Text, Qt::black);
    nomefile->setPalette(green);

    Label2 = new QLabel(QStringLiteral("Sito web / Indirizzo IP / Nome di rete"), this);
    Label2->move(12, 64);
    Label2->adjustSize();
    edtHost = new QLineEdit(QStringLiteral("localhost"), this);
    edtHost->setGeometry(12, 84, 253, 21);

    Label1 = new QLabel(QStringLiteral("Interrogazioni di disponibilità:"), this);
    Label1->move(20, 128);
    Label1->adjustSize();
    spnPing = new TSpinEdit(this);
    // Beside its caption, which the desktop's font may make wider than the designed 141 pixels.
    spnPing->setGeometry(std::max(165, Label1->x() + Label1->width() + 4), 125, 57, 22);
    spnPing->SetRange(1, 40);
    spnPing->SetValue(4);

    Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, 160, 257, 2);

    Button1 = new QPushButton(QStringLiteral("&Ok"), this);
    Button1->setGeometry(104, 176, 75, 25);
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    Button2 = new QPushButton(QStringLiteral("&Annulla"), this);
    Button2->setGeometry(192, 176, 75, 25);
    Button2->setAutoDefault(false);
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

void TForm_edit::Button1Click()
{
    if (nomefile->text().isEmpty()) {
        MessageBox::ShowInformation(this, QStringLiteral("Inserire il nome da assegnare alla risorsa"));
        return;
    }
    if (edtHost->text().isEmpty()) {
        MessageBox::ShowInformation(
            this, QStringLiteral("Inserire il nome del sito oppure un IP oppure il nome di rete della risorsa"));
        return;
    }
    const std::string name = BytesFromText(nomefile->text());
    // Any other name could replace a file anywhere the user may write, the alarm sound included.
    if (!IsNameInsideResourceFolder(name)) {
        MessageBox::ShowInformation(this, QStringLiteral("Inserire un nome che resti nella cartella delle risorse"));
        return;
    }
    // A port or a web address written wrong would only ever show red; the user learns why now.
    TCheckTarget target;
    if (const TCheckError bad = ParseCheckTarget(BytesFromText(edtHost->text()), target); bad != TCheckError::None) {
        MessageBox::ShowInformation(this, QString::fromStdString(CheckErrorText(bad)));
        return;
    }
    WriteResourceFile(Form_res->Memoload, name, BytesFromText(edtHost->text()), spnPing->Value());
    hide();
}

void TForm_edit::Button2Click()
{
    hide();
}
