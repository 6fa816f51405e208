#include "platform/error_report.h"

#include <cctype>

std::string ErrorBoxText(const std::string& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + '.';
    return message;
}

std::string ApplicationTitle(const std::string& executableName)
{
    std::string title = executableName.substr(0, executableName.find('.'));
    for (size_t i = 0; i < title.size(); ++i) {
        const auto c = static_cast<unsigned char>(title[i]);
        title[i] = static_cast<char>(i == 0 ? std::toupper(c) : std::tolower(c));
    }
    return title;
}
