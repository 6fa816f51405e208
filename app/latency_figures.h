// What a status-list row's tip shows, taken from what the monitoring rounds kept for its resource.
#pragma once

#include "ui/latency_tip.h"

#include <string>

class TResourceState;

// `name` is the resource's file name; `state` is null while no round has reached the resource.
TLatencyFigures LatencyFigures(const std::string& name, const TResourceState* state);
