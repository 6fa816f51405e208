#include "app/latency_figures.h"

#include "app/byte_text.h"
#include "app/resource_states.h"

#include <chrono>

TLatencyFigures LatencyFigures(const std::string& name, const TResourceState* state)
{
    TLatencyFigures figures;
    figures.Name = TextFromBytes(name);
    figures.Capacity = TResourceState::HistoryLength;
    if (!state)
        return figures;
    const TRoundResult& last = state->LastRound();
    figures.Pinged = true;
    figures.Host = TextFromBytes(state->Host());
    figures.Address = QString::fromStdString(state->Address());
    figures.Sent = last.Sent;
    figures.Received = last.Received;
    figures.MinUs = last.MinUs;
    figures.AvgUs = last.AvgUs();
    figures.MaxUs = last.MaxUs;
    figures.Error = TextFromBytes(last.Error);
    for (const TRoundMark& mark : state->Recent())
        figures.Rounds.push_back({mark.Up, mark.AvgUs});
    switch (state->State()) {
    case THostState::Up:
        figures.Standing = TLatencyStanding::Up;
        break;
    case THostState::Down:
        figures.Standing = TLatencyStanding::Down;
        break;
    case THostState::Unknown:
        figures.Standing = TLatencyStanding::Unknown;
        break;
    }
    if (const auto change = state->LastChange())
        figures.Since = QDateTime::fromMSecsSinceEpoch(
            std::chrono::duration_cast<std::chrono::milliseconds>(change->time_since_epoch()).count());
    return figures;
}
