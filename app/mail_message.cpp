#include "app/mail_message.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD";

bool isAtext(unsigned char c)
{
    static constexpr std::string_view specials = "!#$%&'*+-/=?^_`{|}~";
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
        || specials.find(static_cast<char>(c)) != std::string_view::npos;
}

bool isDomainChar(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// Dot-separated non-empty runs of `allowed` characters.
template<class Allowed>
bool dotAtoms(std::string_view text, Allowed allowed)
{
    if (text.empty() || text.front() == '.' || text.back() == '.' || text.find("..") != std::string_view::npos)
        return false;
    for (const char c : text)
        if (c != '.' && !allowed(static_cast<unsigned char>(c)))
            return false;
    return true;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The bare address of one list entry, or an empty view when it has none.
std::string_view entryAddress(std::string_view entry)
{
    // A line break or another control byte means the entry is not what the user meant, name or not.
    for (const char c : entry)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return {};
    const size_t open = entry.rfind('<');
    if (open == std::string_view::npos)
        return IsMailAddress(entry) ? entry : std::string_view();
    if (entry.back() != '>')
        return {};
    const std::string_view address = entry.substr(open + 1, entry.size() - open - 2);
    return IsMailAddress(address) ? address : std::string_view();
}

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
size_t sequenceLength(std::string_view text)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        if (lead == 0xF4)
            high = 0x8F; // beyond U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

std::string base64(std::string_view bytes)
{
    static constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 2]);
        out += digits[(group >> 18) & 63];
        out += digits[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[group & 63] : '=';
    }
    return out;
}

} // namespace

bool IsMailAddress(std::string_view address)
{
    const size_t at = address.rfind('@');
    if (address.size() > 254 || at == std::string_view::npos || at > 64)
        return false;
    return dotAtoms(address.substr(0, at), isAtext) && dotAtoms(address.substr(at + 1), isDomainChar);
}

TMailAddressList ParseMailAddresses(std::string_view text)
{
    TMailAddressList list;
    bool quoted = false;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size()) {
            if (text[i] == '"')
                quoted = !quoted;
            if (quoted || (text[i] != ',' && text[i] != ';'))
                continue;
        }
        const std::string_view entry = trimmed(text.substr(start, i - start));
        start = i + 1;
        if (entry.empty())
            continue;
        const std::string_view address = entryAddress(entry);
        if (address.empty()) {
            list.Invalid = std::string(entry);
            break;
        }
        list.Addresses.emplace_back(address);
    }
    return list;
}

std::string CleanText(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const size_t length = sequenceLength(bytes);
        const unsigned char lead = static_cast<unsigned char>(bytes[0]);
        const bool c1 = length == 2 && lead == 0xC2 && static_cast<unsigned char>(bytes[1]) < 0xA0;
        if (length == 0 || lead < 0x20 || lead == 0x7F || c1)
            out += Replacement;
        else
            out += bytes.substr(0, length);
        bytes.remove_prefix(length == 0 ? 1 : length);
    }
    return out;
}

std::string EncodeHeaderText(std::string_view utf8)
{
    bool plain = utf8.size() <= 68 && utf8.find("=?") == std::string_view::npos;
    for (const char c : utf8)
        plain = plain && c >= 0x20 && c <= 0x7E;
    if (plain)
        return std::string(utf8);
    // Words of at most 39 bytes keep each folded line within 78 columns; a character is never split.
    std::string out;
    while (!utf8.empty()) {
        size_t take = 0;
        while (take < utf8.size()) {
            const size_t length = std::max<size_t>(1, sequenceLength(utf8.substr(take)));
            if (take + length > 39 && take > 0)
                break;
            take += length;
        }
        if (!out.empty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + base64(utf8.substr(0, take)) + "?=";
        utf8.remove_prefix(take);
    }
    return out;
}

std::string QuotedPrintable(std::string_view utf8)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    size_t lineStart = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c == '\n') {
            out += "\r\n";
            lineStart = out.size();
            continue;
        }
        const bool lineEnd = i + 1 == utf8.size() || utf8[i + 1] == '\n';
        // Blanks before a line end would be taken away on the way.
        const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEnd);
        const std::string token
            = literal ? std::string(1, static_cast<char>(c)) : std::string {'=', hex[c >> 4], hex[c & 15]};
        // 76 columns at most, the soft break's "=" included.
        if (out.size() - lineStart + token.size() > 75) {
            out += "=\r\n";
            lineStart = out.size();
        }
        out += token;
    }
    return out;
}

std::string MailDate(std::chrono::system_clock::time_point at)
{
    static constexpr const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* months[]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm local {};
    localtime_r(&seconds, &local);
    const long offset = local.tm_gmtoff / 60;
    const long absolute = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", days[local.tm_wday % 7],
                  local.tm_mday, months[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, offset < 0 ? '-' : '+', absolute / 60, absolute % 60);
    return text;
}

std::string ComposeMail(const TMailMessage& message)
{
    std::string to;
    size_t lineLength = 4;
    for (const std::string& address : message.To) {
        if (!to.empty()) {
            const bool fold = lineLength + 2 + address.size() > 76;
            to += fold ? ",\r\n " : ", ";
            lineLength = fold ? 1 : lineLength + 2;
        }
        to += address;
        lineLength += address.size();
    }
    std::string text;
    text += "Date: " + MailDate(message.Date) + "\r\n";
    text += "From: Corvane <" + message.From + ">\r\n";
    text += "To: " + to + "\r\n";
    text += "Subject: " + EncodeHeaderText(CleanText(message.Subject)) + "\r\n";
    text += "Message-ID: <" + message.MessageId + ">\r\n";
    // Written by a program: vacation responders and the like must not answer it.
    text += "Auto-Submitted: auto-generated\r\n";
    text += "MIME-Version: 1.0\r\n";
    text += "Content-Type: text/plain; charset=UTF-8\r\n";
    text += "Content-Transfer-Encoding: quoted-printable\r\n";
    text += "\r\n";
    text += QuotedPrintable(message.Body);
    text += "\r\n";
    return text;
}
