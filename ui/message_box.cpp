#include "ui/message_box.h"

#include "platform/error_report.h"
#include "platform/program_folder.h"
#include "ui/tool_window.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include <cstdio>

namespace {

bool s_recording = false;
std::vector<MessageBox::Shown> s_recorded;
QPointer<QWidget> s_owner;

// A box is a transient of the dialog it belongs to, or of the box it comes from. The gadget's own boxes, and
// boxes of no window, are transients of the program's window group instead: kept above the gadget too,
// and minimised on their own.
QWidget* parentFor(QWidget* parent)
{
    if (!parent)
        parent = QApplication::activeModalWidget();
    return parent == s_owner ? nullptr : parent;
}

int s_openErrorBoxes = 0;

void show(MessageBox::Kind kind, QWidget* parent, const QString& text)
{
    const QString title = MessageBox::Title();
    if (s_recording) {
        s_recorded.push_back({kind, title, text});
        return;
    }
    // A box is gone once answered; its line on standard error stays for the terminal or the session log.
    if (kind == MessageBox::Kind::Error) {
        std::fprintf(stderr, "%s: %s\n", title.toLocal8Bit().constData(), text.toLocal8Bit().constData());
        std::fflush(stderr);
    }
    QMessageBox box(kind == MessageBox::Kind::Error ? QMessageBox::Critical : QMessageBox::Information, title, text,
                    QMessageBox::Ok, parentFor(parent));
    box.setTextFormat(Qt::PlainText);
    KeepAboveTheProgram(&box, s_owner);
    // Errors raised inside the box's own event loop are shown by notify, so exec() itself never throws.
    const int counted = kind == MessageBox::Kind::Error ? 1 : 0;
    s_openErrorBoxes += counted;
    box.exec();
    s_openErrorBoxes -= counted;
}

} // namespace

void MessageBox::ShowError(QWidget* parent, const QString& message)
{
    show(Kind::Error, parent, QString::fromStdString(ErrorBoxText(message.toStdString())));
}

void MessageBox::ShowInformation(QWidget* parent, const QString& text)
{
    show(Kind::Information, parent, text);
}

void MessageBox::SetOwner(QWidget* owner)
{
    s_owner = owner;
}

bool MessageBox::ErrorBoxOpen()
{
    return s_openErrorBoxes > 0;
}

void MessageBox::SetRecording(bool recording)
{
    s_recording = recording;
}

const std::vector<MessageBox::Shown>& MessageBox::Recorded()
{
    return s_recorded;
}

void MessageBox::ClearRecorded()
{
    s_recorded.clear();
}

QString MessageBox::Title()
{
    return QString::fromStdString(ApplicationTitle(ExecutableName()));
}
