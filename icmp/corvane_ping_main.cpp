// corvane-ping [-4|-6] [-c COUNT] [-W TIMEOUT_MS] [-i INTERVAL_MS] [-q] HOST...
#include "icmp/ping_tool.h"

#include <iostream>

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    return RunPingTool(argc, argv, std::cout, std::cerr);
}
