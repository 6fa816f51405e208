#include "ui/labeled_edit.h"

#include <QLabel>

TLabeledEdit::TLabeledEdit(const QString& caption, QWidget* parent)
    : QLineEdit(parent)
    , m_label(new QLabel(caption, parent))
{
    m_label->setBuddy(this);
}

void TLabeledEdit::Place(int left, int top, int width, int height)
{
    setGeometry(left, top, width, height);
    const int labelHeight = m_label->sizeHint().height();
    m_label->setGeometry(left, top - labelHeight - 3, width, labelHeight);
}
