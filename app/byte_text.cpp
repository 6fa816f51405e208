#include "app/byte_text.h"

namespace {

constexpr char16_t EscapeBase = 0xDC00;

// The length of the valid UTF-8 sequence at `at`, or 0 if none starts there.
size_t utf8SequenceLength(std::string_view bytes, size_t at, char32_t& code)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, encoded surrogates and values past U+10FFFF are not UTF-8.
    if (code < minimum || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return 0;
    return length;
}

void appendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

} // namespace

QString TextFromBytes(std::string_view bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        char32_t code = 0;
        if (byte < 0x80) {
            text.append(QChar(char16_t {byte}));
            ++i;
        } else if (const size_t length = utf8SequenceLength(bytes, i, code)) {
            text.append(QString::fromUcs4(&code, 1));
            i += length;
        } else {
            text.append(QChar(static_cast<char16_t>(EscapeBase + byte)));
            ++i;
        }
    }
    return text;
}

std::string BytesFromText(const QString& text)
{
    std::string bytes;
    bytes.reserve(static_cast<size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            appendUtf8(bytes, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
        } else if (unit >= EscapeBase + 0x80 && unit <= EscapeBase + 0xFF) {
            bytes.push_back(static_cast<char>(unit - EscapeBase));
        } else if (QChar::isSurrogate(unit)) {
            appendUtf8(bytes, QChar::ReplacementCharacter);
        } else {
            appendUtf8(bytes, unit);
        }
    }
    return bytes;
}
