#include "app/form_opz.h"

#include "app/byte_text.h"
#include "app/settings_file.h"
#include "ui/form_style.h"
#include "ui/labeled_edit.h"
#include "ui/spin_edit.h"
#include "ui/tool_window.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

TForm_opz* Form_opz = nullptr;

TForm_opz::TForm_opz()
{
    setObjectName(QStringLiteral("Form_opz"));
    MakeToolWindow(this);
    setWindowTitle(QStringLiteral("Corvane - Impostazioni"));
    setFont(FormFont());
    setFixedSize(299, 236);

    GroupBox2 = new QGroupBox(QStringLiteral("Mail server"), this);
    GroupBox2->setGeometry(0, 0, 299, 113);
    LabeledEdit1 = new TLabeledEdit(QStringLiteral("Host"), GroupBox2);
    LabeledEdit1->Place(16, 32, 121);
    LabeledEdit2 = new TLabeledEdit(QStringLiteral("Porta"), GroupBox2);
    LabeledEdit2->Place(160, 32, 73);
    LabeledEdit3 = new TLabeledEdit(QStringLiteral("Username"), GroupBox2);
    LabeledEdit3->Place(16, 72, 121);
    LabeledEdit4 = new TLabeledEdit(QStringLiteral("Password"), GroupBox2);
    LabeledEdit4->Place(160, 72, 121);

    GroupBox1 = new QGroupBox(QStringLiteral("Intervallo di controllo (sec)"), this);
    GroupBox1->setGeometry(0, 113, 299, 65);
    SpinEdit1 = new TSpinEdit(GroupBox1);
    SpinEdit1->setGeometry(112, 24, 65, 22);
    SpinEdit1->SetRange(MinIntervalSeconds, MaxIntervalSeconds);
    SpinEdit1->SetValue(MinIntervalSeconds);

    Button1 = new QPushButton(QStringLiteral("&Ok"), this);
    Button1->setGeometry(112, 200, 75, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TForm_opz::setVisible(bool visible)
{
    // Placed before it is shown: a move made while the window is being mapped can leave the window
    // manager and the toolkit disagreeing about where the dialog is.
    if (visible && !m_centred) {
        m_centred = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    QWidget::setVisible(visible);
}

void TForm_opz::showEvent(QShowEvent* event)
{
    // Showing what the file holds keeps OK from overwriting the user's settings with defaults.
    if (!event->spontaneous())
        loadFromSettings();
    QWidget::showEvent(event);
}

void TForm_opz::loadFromSettings()
{
    const TSettingsFile ini(SettingsPath());
    SpinEdit1->SetValue(ini.ReadInteger("Check", "TimeCheck", 20));
    // A long value shows its start, as a field that has just been filled does.
    auto fill = [&](TLabeledEdit* edit, const char* key) {
        edit->setText(TextFromBytes(ini.ReadString("Mail", key, std::string())));
        edit->setCursorPosition(0);
    };
    fill(LabeledEdit1, "host");
    fill(LabeledEdit2, "port");
    fill(LabeledEdit3, "username");
    fill(LabeledEdit4, "pwd");
}

void TForm_opz::Button1Click()
{
    // Chosen with Alt+O, OK leaves the focus in the field, which then never applies its range itself.
    SpinEdit1->SetValue(SpinEdit1->Value());
    TSettingsFile ini(SettingsPath());
    ini.WriteInteger("Check", "TimeCheck", SpinEdit1->Value());
    ini.WriteString("Mail", "host", BytesFromText(LabeledEdit1->text()));
    ini.WriteString("Mail", "port", BytesFromText(LabeledEdit2->text()));
    ini.WriteString("Mail", "username", BytesFromText(LabeledEdit3->text()));
    ini.WriteString("Mail", "pwd", BytesFromText(LabeledEdit4->text()));
    ini.UpdateFile();
    hide();
}
