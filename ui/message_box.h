// The program's two modal boxes, the error box and the information box, with a recorder for tests.
#pragma once

#include <QString>

#include <vector>

class QWidget;

class MessageBox final
{
public:
    enum class Kind { Error, Information };

    struct Shown
    {
        Kind kind;
        QString title;
        QString text;
    };

    // A stop icon and OK, titled with the application title; `message` gets the full-stop rule.
    static void ShowError(QWidget* parent, const QString& message);
    // An information icon and OK; the text is shown as it is.
    static void ShowInformation(QWidget* parent, const QString& text);

    // The gadget, which stays on top of normal windows: the boxes are kept above it.
    static void SetOwner(QWidget* owner);

    // Whether an error box is on the screen, waiting for its OK.
    static bool ErrorBoxOpen();

    // While recording, boxes are noted instead of shown, so tests never block on a modal loop.
    static void SetRecording(bool recording);
    static const std::vector<Shown>& Recorded();
    static void ClearRecorded();

    static QString Title();
};
