// The settings file corvane.ini: the monitoring interval and the mail-server entries.
#pragma once

#include "platform/exception.h"

#include <cstdint>
#include <string>

// "Unable to write to %s"
class ESettingsWriteError : public Exception
{
public:
    explicit ESettingsWriteError(const std::string& path);
};

// One use of the settings file: every read and write goes to the file at once, nothing is cached.
class TSettingsFile
{
public:
    explicit TSettingsFile(std::string path)
        : m_path(std::move(path))
    { }

    const std::string& FileName() const { return m_path; }

    std::string ReadString(const std::string& section, const std::string& key, const std::string& fallback) const;
    // "0x" followed by hex digits, or the standard integer syntax; anything else gives `fallback`.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const;

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);

    // Writes reach the disk when made; kept for the callers that flush before closing.
    void UpdateFile() { }

private:
    std::string m_path;
};

// The program's settings file.
std::string SettingsPath();

// The range of the settings dialog's interval field, in seconds.
inline constexpr int32_t MinIntervalSeconds = 20;
inline constexpr int32_t MaxIntervalSeconds = 100000;

// The timer's interval for a TimeCheck of `seconds`. 0 is kept: it is the user's way to have no automatic
// cycles. A negative value (weeks once wrapped to 32 bits) or one whose milliseconds do not fit in 32 bits
// (and would wrap to a few) is brought into the dialog's range; every other value is kept, the first
// start's 15 included.
uint32_t TimerIntervalMs(int32_t seconds);

// What a first start writes into the mail entries: placeholders that name no server.
inline constexpr const char* FirstStartMailHost = "ip smtp server";
inline constexpr const char* FirstStartMailPort = "port smtp server";
inline constexpr const char* FirstStartMailUserName = "username smtp server";
inline constexpr const char* FirstStartMailPassword = "key smtp server";

// The entries a first start writes, in this order.
void WriteFirstStartSettings(TSettingsFile& settings);
