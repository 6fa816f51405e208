#include "app/byte_text.h"

#include <gtest/gtest.h>
#include <random>

namespace {

TEST(ByteTextTest, EveryByteStringSurvivesTheRoundTrip)
{
    for (int byte = 0; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        EXPECT_EQ(BytesFromText(TextFromBytes(one)), one) << byte;
    }
    std::mt19937 random(12345);
    for (int run = 0; run < 5000; ++run) {
        std::string bytes(random() % 12, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random() % 8 == 0 ? random() % 128 : 0x80 + random() % 128);
        ASSERT_EQ(BytesFromText(TextFromBytes(bytes)), bytes);
    }
}

TEST(ByteTextTest, Utf8ReadsAsTextAndOtherBytesAreKeptApart)
{
    const std::string utf8 = "citt\xc3\xa0 \xe2\x82\xac \xf0\x9f\x90\x95";
    EXPECT_EQ(TextFromBytes(utf8), QString::fromUtf8(utf8.c_str()));
    EXPECT_EQ(BytesFromText(QString::fromUtf8(utf8.c_str())), utf8);
    // Latin-1, overlong, encoded surrogate, past U+10FFFF, cut short: each byte stands for itself.
    for (const std::string bad : {"\xe0", "\xc0\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82"}) {
        const QString text = TextFromBytes(bad);
        ASSERT_EQ(text.size(), static_cast<qsizetype>(bad.size()));
        for (qsizetype i = 0; i < text.size(); ++i)
            EXPECT_EQ(text[i].unicode(), 0xDC00 + static_cast<unsigned char>(bad[static_cast<size_t>(i)]));
    }
    // A lone surrogate that no byte made (it cannot be typed, but a paste might bring one) is not a byte.
    EXPECT_EQ(BytesFromText(QString(QChar(char16_t {0xD800}))), "\xef\xbf\xbd");
}

} // namespace
