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

// The entries a first start writes, in this order.
void WriteFirstStartSettings(TSettingsFile& settings);
