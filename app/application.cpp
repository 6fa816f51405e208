#include "app/application.h"

#include "ui/message_box.h"

void ReportException(const std::exception& error)
{
    MessageBox::ShowError(nullptr, QString::fromStdString(error.what()));
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(MessageBox::Title());
    setQuitOnLastWindowClosed(false);
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
