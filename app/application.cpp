#include "app/application.h"

#include "ui/form_style.h"
#include "ui/message_box.h"

#include <QIcon>

void ReportException(const std::exception& error)
{
    MessageBox::ShowError(nullptr, QString::fromStdString(error.what()));
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(MessageBox::Title());
    setQuitOnLastWindowClosed(false);
    // Every window and box without an icon of its own, and the about box's picture, show the program's.
    setWindowIcon(ProgramIcon());
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ReportException(error);
    } catch (...) {
        ReportException(std::runtime_error("Unknown error"));
    }
    return false;
}
