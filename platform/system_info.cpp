#include "platform/system_info.h"

#include <fstream>
#include <sstream>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

std::optional<std::string> readFile(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return text.str();
}

std::string trimmed(const std::string& text)
{
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return std::string();
    const auto end = text.find_last_not_of(" \t\r");
    // Runs of blanks, as some processors pad their names with, become one.
    std::string result;
    for (size_t i = begin; i <= end; ++i) {
        const bool blank = text[i] == ' ' || text[i] == '\t';
        if (blank && !result.empty() && result.back() == ' ')
            continue;
        result.push_back(blank ? ' ' : text[i]);
    }
    return result;
}

} // namespace

std::optional<uint64_t> ParseMemTotalKb(const std::string& meminfo)
{
    std::istringstream lines(meminfo);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("MemTotal:", 0) != 0)
            continue;
        std::istringstream fields(line.substr(9));
        uint64_t kb = 0;
        if (fields >> kb)
            return kb;
        return std::nullopt;
    }
    return std::nullopt;
}

std::string ParseProcessorName(const std::string& cpuinfo)
{
    // x86 says "model name"; older ARM kernels "Processor", MIPS "cpu model", POWER "cpu".
    for (const char* key : {"model name", "Processor", "cpu model", "cpu"}) {
        std::istringstream lines(cpuinfo);
        for (std::string line; std::getline(lines, line);) {
            const auto colon = line.find(':');
            if (colon == std::string::npos || trimmed(line.substr(0, colon)) != key)
                continue;
            const std::string name = trimmed(line.substr(colon + 1));
            if (!name.empty())
                return name;
        }
    }
    return std::string();
}

TSystemInfo ReadSystemInfo(const std::string& meminfoPath, const std::string& cpuinfoPath)
{
    TSystemInfo info;
    if (const auto meminfo = readFile(meminfoPath))
        info.MemoryKb = ParseMemTotalKb(*meminfo);
    if (!info.MemoryKb) {
        struct sysinfo figures
        {
        };
        if (::sysinfo(&figures) == 0 && figures.totalram > 0)
            info.MemoryKb = uint64_t(figures.totalram) * figures.mem_unit / 1024;
    }
    const long processors = ::sysconf(_SC_NPROCESSORS_ONLN);
    info.Processors = processors > 0 ? int(processors) : 1;
    if (const auto cpuinfo = readFile(cpuinfoPath))
        info.ProcessorName = ParseProcessorName(*cpuinfo);
    if (info.ProcessorName.empty()) {
        struct utsname machine
        {
        };
        info.ProcessorName = ::uname(&machine) == 0 ? machine.machine : "processor";
    }
    return info;
}

std::string MemoryText(const TSystemInfo& info)
{
    return info.MemoryKb ? std::to_string(*info.MemoryKb) + " KB" : "not available";
}

std::string ProcessorText(const TSystemInfo& info)
{
    return std::to_string(info.Processors) + "x " + info.ProcessorName + " or compatible";
}
