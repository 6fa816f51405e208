// The reader of the running program's version; it is never shown.
#pragma once

#include <QWidget>

class TForm_FileVersion final : public QWidget
{
public:
    TForm_FileVersion();
};

extern TForm_FileVersion* Form_FileVersion;
