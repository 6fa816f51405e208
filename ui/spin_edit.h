// An integer field with up/down arrows whose text may hold anything while typed:
// a text that is not an integer reads as the minimum, and the range is applied when focus leaves.
#pragma once

#include <QAbstractSpinBox>

#include <functional>

// The rules of an integer field: a stored value is brought into range, a text that is no integer
// reads as the minimum. Fields without a window of their own use them too.
struct TSpinRange
{
    int MinValue = 0;
    int MaxValue = 100;
    int Clamp(int value) const;
    int Read(const QString& text) const;
};

class TSpinEdit final : public QAbstractSpinBox
{
    Q_OBJECT

public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    int MinValue() const { return m_range.MinValue; }
    int MaxValue() const { return m_range.MaxValue; }
    void SetRange(int minValue, int maxValue);

    // The text as an integer, or MinValue() when it is not one; not brought into range.
    int Value() const;
    // Stores `value` brought into MinValue()..MaxValue().
    void SetValue(int value);

    QString Text() const;
    void SetText(const QString& text);

    // Called whenever the text changes, typed or set.
    std::function<void(const QString& text)> OnChange;

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
    TSpinRange m_range;
};
