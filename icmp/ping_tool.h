// corvane-ping: the echo engine on the command line.
#pragma once

#include <iosfwd>

// Runs the tool; returns its exit status: 0 when an echo reply came back, 1 when none did, 2 on an error.
int RunPingTool(int argc, char** argv, std::ostream& out, std::ostream& err);
