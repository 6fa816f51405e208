// The settings dialog: the monitoring interval and the mail-server entries of corvane.ini.
#pragma once

#include <QWidget>

class QGroupBox;
class QPushButton;
class TLabeledEdit;
class TSpinEdit;

class TForm_opz final : public QWidget
{
public:
    TForm_opz();

    // Writes the five entries and hides the dialog; a failed write leaves it open.
    void Button1Click();

    QGroupBox* GroupBox2;
    TLabeledEdit* LabeledEdit1;
    TLabeledEdit* LabeledEdit2;
    TLabeledEdit* LabeledEdit3;
    TLabeledEdit* LabeledEdit4;
    QGroupBox* GroupBox1;
    TSpinEdit* SpinEdit1;
    QPushButton* Button1;

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void loadFromSettings();

    bool m_centred = false;
};

extern TForm_opz* Form_opz;
