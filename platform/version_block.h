// The program's fixed version block: four 16-bit numbers stored in the executable at build time, read back
// from an executable's file or from the running program's loaded image.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct TFixedFileVersion
{
    uint32_t FileVersionMS = 0; // major << 16 | minor
    uint32_t FileVersionLS = 0; // release << 16 | build
    uint32_t ProductVersionMS = 0;
    uint32_t ProductVersionLS = 0;
};

// The block of the executable at `path`, or nothing when the file cannot be read or carries none.
std::optional<TFixedFileVersion> ReadFixedFileVersion(const std::string& path);

// "a.b.c.d" from the file version, each number in decimal without leading zeros.
std::string FileVersionText(const TFixedFileVersion& version);

// The running program's version text, read from its loaded image, so it stays right after the file has
// been replaced or removed. A program without a block gives "0.0.0.0": it cannot tell its version, so any
// published one counts as newer.
std::string ProgramVersionText();
