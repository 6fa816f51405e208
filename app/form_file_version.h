// The reader of the running program's version; it is never shown.
#pragma once

#include <QWidget>

class QLabel;

class TForm_FileVersion final : public QWidget
{
public:
    TForm_FileVersion();

    // Reads the version block of the running executable into lblfileversion as "a.b.c.d".
    void Button1Click();

    QLabel* lblfileversion;
};

extern TForm_FileVersion* Form_FileVersion;
