// An integer field with up/down arrows whose text may hold anything while typed:
// a text that is not an integer reads as the minimum, and the range is applied when focus leaves.
#pragma once

#include <QAbstractSpinBox>

class TSpinEdit final : public QAbstractSpinBox
{
    Q_OBJECT

public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    int MinValue() const { return m_minValue; }
    int MaxValue() const { return m_maxValue; }
    void SetRange(int minValue, int maxValue);

    // The text as an integer, or MinValue() when it is not one; not brought into range.
    int Value() const;
    // Stores `value` brought into MinValue()..MaxValue().
    void SetValue(int value);

    QString Text() const;
    void SetText(const QString& text);

    // Whether typing `c` is accepted: digits, signs and the decimal separator.
    static bool AcceptsCharacter(QChar c);

protected:
    void stepBy(int steps) override;
    StepEnabled stepEnabled() const override;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int clamp(int value) const;

    int m_minValue = 0;
    int m_maxValue = 100;
};
