#include "update/version_compare.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

// The leading part of `version` (before its first dot), removed together with that dot.
std::string_view takePart(std::string_view& version)
{
    const size_t dot = version.find('.');
    const std::string_view part = version.substr(0, dot);
    version = dot == std::string_view::npos ? std::string_view() : version.substr(dot + 1);
    return part;
}

int64_t partValue(std::string_view part)
{
    // A part is a signed decimal number; anything else, or nothing, counts as 0.
    const char* begin = part.data();
    const char* end = begin + part.size();
    if (begin != end && *begin == '+')
        ++begin;
    int64_t value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value, 10);
    return error == std::errc() && stop == end && begin != end ? value : 0;
}

bool readNumber(std::string_view text, double& value)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
    return begin != end && error == std::errc() && stop == end && std::isfinite(value);
}

} // namespace

bool PublishedVersionIsNewer(std::string_view installed, std::string_view published, int format)
{
    switch (format) {
    case vfStandard:
        for (;;) {
            const bool lastStep = installed.find('.') == std::string_view::npos;
            const int64_t mine = partValue(takePart(installed));
            const int64_t theirs = partValue(takePart(published));
            if (theirs != mine)
                return theirs > mine;
            if (lastStep)
                return false;
        }
    case vfString:
        return published > installed;
    case vfNumber: {
        double mine = 0;
        double theirs = 0;
        return readNumber(installed, mine) && readNumber(published, theirs) && theirs > mine;
    }
    default:
        return false;
    }
}
