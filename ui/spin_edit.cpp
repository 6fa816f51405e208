#include "ui/spin_edit.h"

#include "platform/int_conversion.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

#include <algorithm>

TSpinEdit::TSpinEdit(QWidget* parent)
    : QAbstractSpinBox(parent)
{
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    SetValue(0);
}

void TSpinEdit::SetRange(int minValue, int maxValue)
{
    m_minValue = minValue;
    m_maxValue = std::max(minValue, maxValue);
}

int TSpinEdit::clamp(int value) const { return std::clamp(value, m_minValue, m_maxValue); }

int TSpinEdit::Value() const
{
    int32_t value = 0;
    return TryStrToInt(Text().toStdString(), value) ? value : m_minValue;
}

void TSpinEdit::SetValue(int value) { SetText(QString::number(clamp(value))); }

QString TSpinEdit::Text() const { return lineEdit()->text(); }

void TSpinEdit::SetText(const QString& text)
{
    lineEdit()->setText(text);
    update();
}

bool TSpinEdit::AcceptsCharacter(QChar c)
{
    return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || QString(c) == QLocale().decimalPoint();
}

void TSpinEdit::stepBy(int steps) { SetValue(Value() + steps); }

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const { return StepUpEnabled | StepDownEnabled; }

QValidator::State TSpinEdit::validate(QString&, int&) const
{
    // Typing is filtered key by key; whatever is in the field may stay there.
    return QValidator::Acceptable;
}

void TSpinEdit::fixup(QString&) const {}

void TSpinEdit::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    const bool printable = !text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier);
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter || (printable && !std::all_of(text.begin(), text.end(), AcceptsCharacter))) {
        QApplication::beep();
        event->accept();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void TSpinEdit::focusOutEvent(QFocusEvent* event)
{
    QAbstractSpinBox::focusOutEvent(event);
    const int value = Value();
    if (clamp(value) != value)
        SetValue(value);
}
