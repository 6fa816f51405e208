// Mail as it goes over SMTP: the addresses a user types into the settings, and a plain-text message in the
// form every mail server and reader accepts.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

// A bare address, local@domain, in plain ASCII and without anything that could end a header or an SMTP
// command: no blanks, no control bytes, no quotes or angle brackets.
bool IsMailAddress(std::string_view address);

struct TMailAddressList
{
    std::vector<std::string> Addresses; // bare, in the order written
    std::string Invalid; // the first entry that is no address; empty when all are
};

// A list such as "anna@example.org, Bruno <bruno@example.org>; carla@example.org": entries apart by commas
// or semicolons outside quotes, each a bare address or a name followed by one in angle brackets.
TMailAddressList ParseMailAddresses(std::string_view text);

// UTF-8 text with every invalid sequence and every control character made U+FFFD, so that nothing taken
// from a file name can break a line of a message.
std::string CleanText(std::string_view bytes);

// A header value as RFC 2047 encoded words when it is not short printable ASCII.
std::string EncodeHeaderText(std::string_view utf8);

// UTF-8 text with "\n" line ends as quoted-printable with CRLF line ends.
std::string QuotedPrintable(std::string_view utf8);

// "Wed, 12 Mar 2025 14:32:05 +0100" in local time.
std::string MailDate(std::chrono::system_clock::time_point at);

struct TMailMessage
{
    std::string From;
    std::vector<std::string> To;
    std::string Subject; // UTF-8
    std::string Body; // UTF-8, "\n" line ends
    std::chrono::system_clock::time_point Date;
    std::string MessageId; // without the angle brackets
};

// The whole message: headers, a blank line and the body, every line ending in CRLF.
std::string ComposeMail(const TMailMessage& message);
