// Any text as the mail entries of the settings: the addresses taken from it are bare, safe on an SMTP command
// line and read back the same; any bytes as a name in a message stay within their header or body line.
#include "app/mail_message.h"

#include <string>
#include <string_view>

namespace {

bool printableAscii(std::string_view text)
{
    for (const char c : text)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const TMailAddressList list = ParseMailAddresses(input);
    std::string joined;
    for (const std::string& address : list.Addresses) {
        if (!IsMailAddress(address) || !printableAscii(address)
            || address.find_first_of(" <>\",;") != std::string::npos)
            __builtin_trap();
        joined += (joined.empty() ? "" : ", ") + address;
    }
    if (!list.Invalid.empty() && input.find(list.Invalid) == std::string_view::npos)
        __builtin_trap();
    if (list.Invalid.empty() && ParseMailAddresses(joined).Addresses != list.Addresses)
        __builtin_trap();

    const std::string clean = CleanText(input);
    if (CleanText(clean) != clean)
        __builtin_trap();
    // Header text: printable ASCII, lines broken only by folding.
    std::string header = EncodeHeaderText(clean);
    for (size_t at; (at = header.find("\r\n ")) != std::string::npos;)
        header.erase(at, 2);
    if (!printableAscii(header))
        __builtin_trap();
    // Body text: CRLF lines of printable ASCII, 76 columns at most.
    const std::string body = QuotedPrintable(clean);
    size_t start = 0;
    for (size_t end; start <= body.size(); start = end + 2) {
        end = body.find("\r\n", start);
        if (end == std::string::npos)
            end = body.size();
        const std::string_view line(body.data() + start, end - start);
        if (line.size() > 76 || !printableAscii(line))
            __builtin_trap();
    }
    return 0;
}
