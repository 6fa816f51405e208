// The states across rounds: when a resource counts as down or back, what a round reports, what is kept.
#include "app/resource_states.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

const TWallClock::time_point T0 = TWallClock::time_point(1741786325s);

// 'U' answered, 'D' did not, 'E' answered and then failed with an error, 'X' failed with an error alone.
TRoundResult round(char kind)
{
    TRoundResult result;
    result.Sent = 2;
    result.Received = kind == 'U' || kind == 'E' ? 1 : 0;
    if (kind == 'E' || kind == 'X')
        result.Error = "Socket Error # 10065";
    return result;
}

// Runs `rounds` of one resource and writes what each raised: '.' nothing, 'v' went down, '^' came back.
std::string changesOf(int downAfter, const std::string& rounds)
{
    TResourceStates states;
    std::string seen;
    for (size_t i = 0; i < rounds.size(); ++i) {
        states.BeginRound({"a.cvr"}, downAfter);
        states.Record("a.cvr", "10.0.0.1", round(rounds[i]), T0 + i * 20s);
        const auto changes = states.TakeChanges();
        seen += changes.empty() ? '.' : changes.at(0).State == THostState::Down ? 'v' : '^';
    }
    return seen;
}

TEST(ResourceStatesTest, DownAfterEnoughFailingRoundsAndBackAfterOneAnsweringRound)
{
    const struct
    {
        const char* what;
        int downAfter;
        const char* rounds;
        const char* raised;
    } cases[] = {
        {"the first round raises nothing", 2, "U", "."},
        {"one lost round is no alarm", 2, "UDUDUD", "......"},
        {"down after two, back after one", 2, "UDDDDU", "..v..^"},
        {"down again after two more", 2, "UDDUDD", "..v^.v"},
        {"down after one", 1, "UDUD", ".v^v"},
        {"down after three", 3, "UDDUDDD", "......v"},
        {"down from the start: not announced, nor is its first answer", 2, "DDDUDD", ".....v"},
        {"a value below one counts as one", 0, "UD", ".v"},
        {"an answer before an error is up; an error alone is down", 2, "UEEXX", "....v"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(changesOf(c.downAfter, c.rounds), c.raised) << c.what;
}

TEST(ResourceStatesTest, ChangesOfARoundComeTogetherInPingOrderAndForgottenResourcesStartAfresh)
{
    TResourceStates states;
    const auto rounds = [&](const std::vector<std::string>& listed, const std::string& host, const char* kinds) {
        for (const char* kind = kinds; *kind; ++kind) {
            states.BeginRound(listed, 2);
            for (const std::string& name : listed)
                states.Record(name, host, round(name == "c.cvr" ? 'U' : *kind), T0);
        }
    };
    rounds({"b.cvr", "a.cvr", "c.cvr"}, "h", "UDD");
    const auto changes = states.TakeChanges();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].Name, "b.cvr");
    EXPECT_EQ(changes[0].Host, "h");
    EXPECT_EQ(changes[1].Name, "a.cvr");
    EXPECT_TRUE(states.TakeChanges().empty());

    // b is renamed d: the old name is forgotten, the new one has no past, so its answer raises nothing.
    rounds({"a.cvr", "d.cvr"}, "h", "U");
    EXPECT_EQ(states.Find("b.cvr"), nullptr);
    EXPECT_EQ(states.Count(), 2u);
    ASSERT_EQ(states.TakeChanges().size(), 1u) << "a is back";
    // Another host under the same name is another resource: its first answer is no comeback.
    rounds({"a.cvr"}, "h", "DD");
    rounds({"a.cvr"}, "other", "U");
    EXPECT_EQ(states.TakeChanges().size(), 1u) << "the down only";
    EXPECT_EQ(states.Find("a.cvr")->Recent().size(), 1u);
}

TEST(ResourceStatesTest, KeepsTheLastRoundTheAddressAndSixtyRoundsOfHistory)
{
    TRoundResult run;
    // The round trips are the measured microseconds, not the whole milliseconds that include the lookup.
    for (const auto& [outcome, us] : std::vector<std::pair<TReplyOutcome, uint32_t>> {
             {roEchoReply, 1200}, {roTimeOut, 0}, {roEchoReply, 30}, {roUnreachable, 0}, {roEchoReply, 800}})
        run.Add(TReplyStatus {64, "10.0.0.1", 0, 0, us / 1000 + 5, 64, outcome, us});
    EXPECT_EQ(run.Sent, 5);
    EXPECT_EQ(run.Received, 3);
    EXPECT_EQ(run.MinUs, 30u);
    EXPECT_EQ(run.MaxUs, 1200u);
    EXPECT_EQ(run.AvgUs(), 677u) << "2030 / 3 rounded";
    EXPECT_EQ(TRoundResult().AvgUs(), 0u);
    run.Address = "10.0.0.1";

    TResourceStates states;
    for (int i = 0; i < 75; ++i) {
        states.BeginRound({"a.cvr"}, 2);
        states.Record("a.cvr", "host", i == 73 ? round('X') : run, T0 + i * 20s);
    }
    const TResourceState* state = states.Find("a.cvr");
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->State(), THostState::Up);
    EXPECT_EQ(state->LastRound().Received, 3);
    EXPECT_EQ(state->Address(), "10.0.0.1") << "kept through the round that could not resolve it";
    EXPECT_EQ(state->LastChange(), T0) << "first seen answering; one lost round changes nothing";
    const auto recent = state->Recent();
    ASSERT_EQ(recent.size(), 60u);
    EXPECT_TRUE(recent.front().Up);
    EXPECT_EQ(recent.front().AvgUs, 677u);
    EXPECT_FALSE(recent[58].Up) << "oldest first: the 74th round is second to last";
    EXPECT_TRUE(recent.back().Up);
    EXPECT_EQ(states.Find("b.cvr"), nullptr);
}

} // namespace
