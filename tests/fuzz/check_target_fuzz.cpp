// Any host line: the reader never misbehaves, and a port it accepts writes back to a line it reads the same.
#include "probes/check_target.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    TCheckTarget target;
    if (ParseCheckTarget(line, target) != TCheckError::None)
        return 0;
    switch (target.Kind) {
    case TCheckTarget::TKind::Echo:
        if (target.Host != line)
            __builtin_trap();
        break;
    case TCheckTarget::TKind::Http:
        if (target.Url != line || target.Host.empty())
            __builtin_trap();
        break;
    case TCheckTarget::TKind::Tcp: {
        if (target.Port == 0)
            __builtin_trap();
        const bool bracketed = target.Host.find(':') != std::string::npos || line.front() == '[';
        const std::string again
            = (bracketed ? "[" + target.Host + "]" : target.Host) + ":" + std::to_string(target.Port);
        TCheckTarget reread;
        if (ParseCheckTarget(again, reread) != TCheckError::None || reread.Kind != TCheckTarget::TKind::Tcp
            || reread.Host != target.Host || reread.Port != target.Port)
            __builtin_trap();
        break;
    }
    }
    return 0;
}
