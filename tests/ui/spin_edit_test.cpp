#include "ui/spin_edit.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

TEST(SpinEditTest, StoringClampsAndReadingFallsBackToTheMinimum)
{
    TSpinEdit spin;
    spin.SetRange(1, 40);
    spin.SetValue(0);
    EXPECT_EQ(spin.Text(), QStringLiteral("1"));
    spin.SetValue(-5);
    EXPECT_EQ(spin.Value(), 1);
    spin.SetValue(100);
    EXPECT_EQ(spin.Value(), 40);
    spin.SetText(QStringLiteral("abc"));
    EXPECT_EQ(spin.Value(), 1);
    spin.SetText(QStringLiteral("75"));
    EXPECT_EQ(spin.Value(), 75) << "reading does not clamp";
}

TEST(SpinEditTest, TypingAcceptsOnlyDigitsSignsAndTheSeparator)
{
    TSpinEdit spin;
    spin.SetRange(1, 40);
    spin.SetText(QString());
    spin.show();
    spin.setFocus();
    QTest::keyClicks(&spin, QStringLiteral("1a2 x"));
    EXPECT_EQ(spin.Text(), QStringLiteral("12"));
    QTest::keyClick(&spin, Qt::Key_Return);
    EXPECT_EQ(spin.Text(), QStringLiteral("12"));
    QTest::keyClicks(&spin, QStringLiteral("-+"));
    EXPECT_EQ(spin.Text(), QStringLiteral("12-+"));
    EXPECT_TRUE(TSpinEdit::AcceptsCharacter(u'7'));
    EXPECT_FALSE(TSpinEdit::AcceptsCharacter(u'e'));
    EXPECT_FALSE(TSpinEdit::AcceptsCharacter(QChar(0x0663))); // a non-ASCII digit
}

TEST(SpinEditTest, LeavingTheFieldBringsATypedNumberIntoRange)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* spin = new TSpinEdit(&window);
    spin->SetRange(20, 100000);
    auto* other = new QPushButton(QStringLiteral("&Ok"), &window);
    layout->addWidget(spin);
    layout->addWidget(other);
    window.show();
    QApplication::setActiveWindow(&window);
    spin->setFocus();
    spin->SetText(QStringLiteral("150000"));
    other->setFocus();
    EXPECT_EQ(spin->Text(), QStringLiteral("100000"));
    spin->setFocus();
    spin->SetText(QStringLiteral("1-2"));
    other->setFocus();
    EXPECT_EQ(spin->Text(), QStringLiteral("1-2")) << "a text that is no number is left for the user";
    EXPECT_EQ(spin->Value(), 20);
}

TEST(SpinEditTest, ArrowsStepWithinTheRange)
{
    TSpinEdit spin;
    spin.SetRange(1, 40);
    spin.SetValue(40);
    spin.stepUp();
    EXPECT_EQ(spin.Value(), 40);
    spin.stepDown();
    EXPECT_EQ(spin.Value(), 39);
}

} // namespace
