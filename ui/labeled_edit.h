// A one-line text field with its caption label just above it.
#pragma once

#include <QLineEdit>

class QLabel;

class TLabeledEdit final : public QLineEdit
{
    Q_OBJECT

public:
    TLabeledEdit(const QString& caption, QWidget* parent);

    QLabel* EditLabel() const { return m_label; }

    // Places the field; the label follows, 3 pixels above its top edge.
    void Place(int left, int top, int width, int height = 21);

private:
    QLabel* m_label;
};
