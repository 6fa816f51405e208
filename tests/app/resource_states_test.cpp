// The states across rounds: when a resource counts as down or back, what a round reports, what is kept.
#include "app/resource_states.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

const TWallClock::time_point T0 = TWallClock::time_point(1741786325s);

TRoundResult round(bool up)
{
    TRoundResult result;
    result.Sent = 2;
    result.Received = up ? 1 : 0;
    return result;
}

// Runs `rounds` of one resource ('U' answered, 'D' did not) and writes what each round raised:
// '.' nothing, 'v' went down, '^' came back.
std::string changesOf(int downAfter, const std::string& rounds)
{
    TResourceStates states;
    std::string seen;
    for (size_t i = 0; i < rounds.size(); ++i) {
        states.BeginRound({"a.cvr"}, downAfter);
        states.Record("a.cvr", "10.0.0.1", round(rounds[i] == 'U'), T0 + i * 20s);
        const auto changes = states.TakeChanges();
        seen += changes.empty() ? '.' : changes.at(0).State == THostState::Down ? 'v' : '^';
    }
    return seen;
}

TEST(ResourceStatesTest, DownAfterEnoughFailingRoundsAndBackAfterOneAnsweringRound)
{
    struct Case
    {
        const char* what;
        int downAfter;
        const char* rounds;
        const char* raised;
    };
    const Case cases[] = {
        {"the first round raises nothing", 2, "U", "."},
        {"one lost round is no alarm", 2, "UDUDUD", "......"},
        {"down after two, back after one", 2, "UDDDDU", "..v..^"},
        {"down again after two more", 2, "UDDUDD", "..v^.v"},
        {"down after one", 1, "UDUD", ".v^v"},
        {"down after three", 3, "UDDUDDD", "......v"},
        {"down from the start: not announced, nor is its first answer", 2, "DDDUDD", ".....v"},
        {"a value below one counts as one", 0, "UD", ".v"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(changesOf(c.downAfter, c.rounds), c.raised) << c.what;
}

TEST(ResourceStatesTest, ARunThatAnsweredBeforeAnErrorIsUpAndAnErrorAloneIsDown)
{
    TResourceStates states;
    TRoundResult answeredThenFailed = round(true);
    answeredThenFailed.Error = "Socket Error # 101";
    TRoundResult failed;
    failed.Error = "Socket Error # 11001\r\nHost not found.";
    const std::vector<TRoundResult> rounds {round(true), answeredThenFailed, failed, failed};
    for (const TRoundResult& r : rounds) {
        states.BeginRound({"a.cvr"}, 2);
        states.Record("a.cvr", "host", r, T0);
    }
    const auto changes = states.TakeChanges();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].State, THostState::Down);
    EXPECT_EQ(changes[0].Round.Error, failed.Error) << "the change carries the run that made it";
}

TEST(ResourceStatesTest, ChangesOfARoundComeTogetherInPingOrderAndAreTakenOnce)
{
    TResourceStates states;
    const std::vector<std::string> listed {"b.cvr", "a.cvr", "c.cvr"};
    for (int i = 0; i < 3; ++i) {
        states.BeginRound(listed, 2);
        for (const std::string& name : listed)
            states.Record(name, "h-" + name, round(i == 0 || name == "c.cvr"), T0 + i * 20s);
        EXPECT_TRUE(i == 2 || states.TakeChanges().empty());
    }
    const auto changes = states.TakeChanges();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].Name, "b.cvr");
    EXPECT_EQ(changes[0].Host, "h-b.cvr");
    EXPECT_EQ(changes[0].At, T0 + 40s);
    EXPECT_EQ(changes[1].Name, "a.cvr");
    EXPECT_TRUE(states.TakeChanges().empty());
}

TEST(ResourceStatesTest, DeletedRenamedOrRepointedResourcesStartWithoutAState)
{
    TResourceStates states;
    const auto rounds = [&](const std::string& name, const std::string& host, const std::string& outcomes) {
        for (const char outcome : outcomes) {
            states.BeginRound({name}, 2);
            states.Record(name, host, round(outcome == 'U'), T0);
        }
    };
    rounds("a.cvr", "10.0.0.1", "UDD");
    EXPECT_EQ(states.TakeChanges().size(), 1u);
    ASSERT_NE(states.Find("a.cvr"), nullptr);

    // Renamed: the old name is forgotten, the new one has no past, so its answer raises nothing.
    rounds("b.cvr", "10.0.0.1", "U");
    EXPECT_EQ(states.Find("a.cvr"), nullptr);
    EXPECT_EQ(states.Count(), 1u);
    EXPECT_TRUE(states.TakeChanges().empty());

    // Another host under the same name: its first answer is no comeback.
    rounds("b.cvr", "10.0.0.1", "DD");
    EXPECT_EQ(states.TakeChanges().size(), 1u);
    rounds("b.cvr", "10.0.0.2", "U");
    EXPECT_TRUE(states.TakeChanges().empty());
    EXPECT_EQ(states.Find("b.cvr")->Recent().size(), 1u);
}

TEST(ResourceStatesTest, KeepsTheLastRoundTheAddressAndSixtyRoundsOfHistory)
{
    TRoundResult run;
    for (const auto& [outcome, ms] : std::vector<std::pair<TReplyOutcome, uint32_t>> {
             {roEchoReply, 12}, {roTimeOut, 0}, {roEchoReply, 3}, {roUnreachable, 0}, {roEchoReply, 8}})
        run.Add(TReplyStatus {64, "10.0.0.1", 0, 0, ms, 64, outcome});
    EXPECT_EQ(run.Sent, 5);
    EXPECT_EQ(run.Received, 3);
    EXPECT_EQ(run.MinMs, 3u);
    EXPECT_EQ(run.MaxMs, 12u);
    EXPECT_EQ(run.AvgMs(), 8u) << "23 / 3 rounded";
    EXPECT_EQ(TRoundResult().AvgMs(), 0u);
    run.Address = "10.0.0.1";

    TResourceStates states;
    TRoundResult unresolved = round(false);
    unresolved.Error = "Socket Error # 11001";
    for (int i = 0; i < 75; ++i) {
        states.BeginRound({"a.cvr"}, 2);
        states.Record("a.cvr", "host", i == 73 ? unresolved : run, T0 + i * 20s);
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
    EXPECT_EQ(recent.front().AvgMs, 8u);
    EXPECT_FALSE(recent[58].Up) << "oldest first: the 74th round is second to last";
    EXPECT_TRUE(recent.back().Up);
    EXPECT_EQ(states.Find("b.cvr"), nullptr);
}

} // namespace
