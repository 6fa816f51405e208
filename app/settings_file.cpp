#include "app/settings_file.h"

#include "platform/format.h"
#include "platform/int_conversion.h"
#include "platform/profile_file.h"
#include "platform/program_folder.h"

#include <strings.h>

ESettingsWriteError::ESettingsWriteError(const std::string& path)
    : Exception(Format("Unable to write to %s", path.c_str()))
{ }

std::string TSettingsFile::ReadString(const std::string& section, const std::string& key,
                                      const std::string& fallback) const
{
    return ReadProfileString(section, key, fallback, m_path);
}

int32_t TSettingsFile::ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const
{
    std::string text = ReadString(section, key, std::string());
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = "$" + text.substr(2);
    return StrToIntDef(text, fallback);
}

void TSettingsFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    // The mail entries include the password: writing them keeps the file from others.
    if (WriteProfileString(section, key, value, m_path, ::strcasecmp(section.c_str(), "Mail") == 0) != 0)
        throw ESettingsWriteError(m_path);
}

void TSettingsFile::WriteInteger(const std::string& section, const std::string& key, int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

std::string SettingsPath()
{
    return ProgramFolder() + "corvane.ini";
}

void WriteFirstStartSettings(TSettingsFile& settings)
{
    settings.WriteInteger("Check", "TimeCheck", 15);
    settings.WriteString("Mail", "host", FirstStartMailHost);
    settings.WriteString("Mail", "port", FirstStartMailPort);
    settings.WriteString("Mail", "username", FirstStartMailUserName);
    settings.WriteString("Mail", "pwd", FirstStartMailPassword);
    settings.UpdateFile();
}

uint32_t TimerIntervalMs(int32_t seconds)
{
    if (seconds == 0)
        return 0;
    if (seconds < 0)
        return static_cast<uint32_t>(MinIntervalSeconds) * 1000u;
    if (static_cast<uint64_t>(seconds) * 1000u > UINT32_MAX)
        return static_cast<uint32_t>(MaxIntervalSeconds) * 1000u;
    return static_cast<uint32_t>(seconds) * 1000u;
}
