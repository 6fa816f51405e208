// corvane-ping: the echo engine on the command line.
#pragma once

#include "icmp/event_loop.h"

#include <functional>
#include <iosfwd>

// Runs the tool; returns its exit status: 0 when every host answered at least once, 1 when one did not, 2 on
// an error (a wrong option, or a host that could not be pinged).
int RunPingTool(int argc, char** argv, std::ostream& out, std::ostream& err);

// The same on a loop of the caller's, which `runUntil` runs until the condition it is given holds.
using TRunLoopUntil = std::function<void(const std::function<bool()>& done)>;
int RunPingTool(int argc, char** argv, std::ostream& out, std::ostream& err, TEventLoop& loop,
                const TRunLoopUntil& runUntil);
