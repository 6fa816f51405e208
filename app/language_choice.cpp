#include "app/language_choice.h"

#include "app/settings_file.h"

#include <cctype>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace {

// "it" of "it_IT.UTF-8@euro", in lower case.
std::string languagePart(std::string_view name)
{
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.front())))
        name.remove_prefix(1);
    std::string code(name.substr(0, name.find_first_of("_.@ \t\r\n")));
    for (char& c : code)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return code;
}

// "C", "C.UTF-8", "POSIX", or nothing at all.
bool isPlainLocale(std::string_view name)
{
    const std::string code = languagePart(name);
    return code.empty() || code == "c" || code == "posix";
}

std::optional<TLanguage> translatedLanguage(std::string_view name)
{
    const std::string code = languagePart(name);
    if (code == "it")
        return TLanguage::Italian;
    if (code == "en")
        return TLanguage::English;
    return std::nullopt;
}

TLanguage languageOf(std::string_view name)
{
    return isPlainLocale(name) ? TLanguage::Italian : translatedLanguage(name).value_or(TLanguage::English);
}

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

TLanguageEnvironment DesktopLanguageEnvironment()
{
    return {variable("LANGUAGE"), variable("LC_ALL"), variable("LC_MESSAGES"), variable("LANG")};
}

TLanguage ChooseLanguage(const std::string& setting, const TLanguageEnvironment& desktop)
{
    if (!languagePart(setting).empty())
        return languageOf(setting);
    const std::string& locale = !desktop.LcAll.empty() ? desktop.LcAll
        : !desktop.LcMessages.empty()                  ? desktop.LcMessages
                                                       : desktop.Lang;
    if (isPlainLocale(locale))
        return TLanguage::Italian;
    std::string_view preferences = desktop.Language;
    while (!preferences.empty()) {
        const size_t colon = preferences.find(':');
        if (const auto language = translatedLanguage(preferences.substr(0, colon)))
            return *language;
        preferences.remove_prefix(colon == std::string_view::npos ? preferences.size() : colon + 1);
    }
    return languageOf(locale);
}

TLanguage ProgramLanguage()
{
    return ChooseLanguage(TSettingsFile(SettingsPath()).ReadString("Check", "Language", std::string()),
                          DesktopLanguageEnvironment());
}

const char* LanguageCode(TLanguage language)
{
    return language == TLanguage::Italian ? "it" : "en";
}
