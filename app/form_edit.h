// The resource editor: file name, target and echo count of one resource file.
#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TSpinEdit;

class TForm_edit final : public QWidget
{
public:
    TForm_edit();

    // OK: checks the two fields, writes the resource file and hides the editor.
    void Button1Click();
    // Cancel: hides the editor, nothing else.
    void Button2Click();

    QLabel* Label3;
    QLineEdit* nomefile;
    QLabel* Label2;
    QLineEdit* edtHost;
    QLabel* Label1;
    TSpinEdit* spnPing;
    QFrame* Bevel1;
    QPushButton* Button1;
    QPushButton* Button2;
};

extern TForm_edit* Form_edit;
