// What the machine offers, read from the kernel for the about box.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct TSystemInfo
{
    std::optional<uint64_t> MemoryKb; // total physical memory
    int Processors = 1;
    std::string ProcessorName;
};

// Reads the two files (normally /proc/meminfo and /proc/cpuinfo). A file that cannot be read leaves its
// part to the kernel's own figures: sysinfo() for the memory, the machine type for the processor's name.
TSystemInfo ReadSystemInfo(const std::string& meminfoPath = "/proc/meminfo",
                           const std::string& cpuinfoPath = "/proc/cpuinfo");

// "MemTotal:" of a meminfo text, in kilobytes.
std::optional<uint64_t> ParseMemTotalKb(const std::string& meminfo);
// The first processor's model name of a cpuinfo text, whatever the architecture calls it; empty if none.
std::string ParseProcessorName(const std::string& cpuinfo);

// "16318500 KB", or "not available".
std::string MemoryText(const TSystemInfo& info);
// "4x Intel(R) Core(TM) i5 or compatible".
std::string ProcessorText(const TSystemInfo& info);
