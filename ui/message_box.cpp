#include "ui/message_box.h"

#include "platform/error_report.h"
#include "platform/program_folder.h"
#include "ui/tool_window.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace {

bool s_recording = false;
std::vector<MessageBox::Shown> s_recorded;
QPointer<QWidget> s_owner;

// A box's parent makes it a transient of that window, which the window manager keeps above it.
QWidget* ownerFor(QWidget* parent)
{
    if (parent)
        return parent;
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow(); active && active->windowType() != Qt::Popup)
        return active;
    return s_owner && s_owner->isVisible() ? s_owner.data() : nullptr;
}

void show(MessageBox::Kind kind, QWidget* parent, const QString& text)
{
    const QString title = MessageBox::Title();
    if (s_recording) {
        s_recorded.push_back({kind, title, text});
        return;
    }
    QMessageBox box(kind == MessageBox::Kind::Error ? QMessageBox::Critical : QMessageBox::Information, title, text,
                    QMessageBox::Ok, ownerFor(parent));
    box.setTextFormat(Qt::PlainText);
    KeepRestored(&box);
    box.exec();
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
