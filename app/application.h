// The application object: the one place where an error that escapes a handler is shown.
#pragma once

#include <QApplication>

#include <exception>

// Shows `error` in the error box; the program goes on.
void ReportException(const std::exception& error);

class TApplication final : public QApplication
{
public:
    TApplication(int& argc, char** argv);

    // Every event, timer tick and handler runs below this call, so an exception they let out stops here.
    bool notify(QObject* receiver, QEvent* event) override;
};
