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
    connect(lineEdit(), &QLineEdit::textChanged, this, [this](const QString& text) {
        if (OnChange)
            OnChange(text);
    });
    SetValue(0);
}

int TSpinRange::Clamp(int value) const
{
    return std::clamp(value, MinValue, MaxValue);
}

int TSpinRange::Read(const QString& text) const
{
    int32_t value = 0;
    return TryStrToInt(text.toStdString(), value) ? value : MinValue;
}

void TSpinEdit::SetRange(int minValue, int maxValue)
{
    m_range = {minValue, std::max(minValue, maxValue)};
}

int TSpinEdit::Value() const
{
    return m_range.Read(Text());
}

void TSpinEdit::SetValue(int value)
{
    SetText(QString::number(m_range.Clamp(value)));
}

QString TSpinEdit::Text() const
{
    return lineEdit()->text();
}

void TSpinEdit::SetText(const QString& text)
{
    lineEdit()->setText(text);
    update();
}

bool TSpinEdit::AcceptsCharacter(QChar c)
{
    return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || QString(c) == QLocale().decimalPoint();
}

void TSpinEdit::stepBy(int steps)
{
    SetValue(Value() + steps);
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const
{
    return StepUpEnabled | StepDownEnabled;
}

QValidator::State TSpinEdit::validate(QString&, int&) const
{
    // Typing is filtered key by key; whatever is in the field may stay there.
    return QValidator::Acceptable;
}

void TSpinEdit::fixup(QString&) const { }

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
    if (m_range.Clamp(value) != value)
        SetValue(value);
}
