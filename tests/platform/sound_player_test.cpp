// The alarm's sound output: found where a desktop has one, silent, errors included, where there is none, and
// found again when it comes later.
#include "platform/sound_player.h"
#include "tests/support/temp_folder.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

TEST(SoundOutputTest, AServerOrAPlaybackDeviceIsAnOutput)
{
    TempFolder folder;
    folder.MakeFolder("pulse");
    folder.Write("pcmC0D0c", ""); // capture only
    TSoundPlaces places {"", folder.Path(), folder.Path(), folder.File("asoundrc")};
    EXPECT_FALSE(SoundOutputPresent(places));
    EXPECT_FALSE(SoundOutputPresent({}));
    EXPECT_TRUE(SoundOutputPresent({"tcp:soundbox", "", "", ""}));
    for (const char* output : {"pcmC1D3p", "pulse/native", "pipewire-0", "asoundrc"}) {
        folder.Write(output, "");
        EXPECT_TRUE(SoundOutputPresent(places)) << output;
        std::remove(folder.File(output).c_str());
    }
}

TEST(SoundOutputTest, AMachineWithoutSoundStaysQuietOnItsErrorOutputToo)
{
    if (SoundOutputPresent(DesktopSoundPlaces()))
        GTEST_SKIP() << "this machine has a sound output";
    TempFolder folder;
    const std::string errors = folder.File("stderr");
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 2);
        const auto player = CreateDesktopSoundPlayer();
        for (int i = 0; i < 20; ++i)
            player->PlayFile(i % 2 ? "/nonexistent/dog.wav" : CORVANE_SOURCE_DIR "/assets/dog.wav");
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(folder.Read("stderr"), "");
}

using namespace std::chrono_literals;

class RecordingOutput final : public ISoundOutput
{
public:
    explicit RecordingOutput(std::vector<std::string>& played, bool& gone)
        : m_played(played)
        , m_gone(gone)
    { }
    bool Play(const std::string& path) override
    {
        if (!m_gone)
            m_played.push_back(path);
        return !m_gone;
    }

private:
    std::vector<std::string>& m_played;
    bool& m_gone;
};

// A sound server that starts after the gadget, goes away, and comes back.
TEST(SoundPlayerTest, AnOutputThatComesLaterIsLookedForAgainAtMostOnceAMinute)
{
    TempFolder folder;
    folder.Write("dog.wav", "RIFF");
    const std::string dog = folder.File("dog.wav");
    bool serverUp = false, gone = false;
    int opened = 0;
    std::vector<std::string> played;
    auto now = std::chrono::steady_clock::time_point();
    const auto player = CreateSoundPlayer(
        [&]() -> std::unique_ptr<ISoundOutput> {
            ++opened;
            return serverUp ? std::make_unique<RecordingOutput>(played, gone) : nullptr;
        },
        [&] { return now; });

    player->PlayFile(dog);
    serverUp = true;
    now += 59s;
    player->PlayFile(dog);
    EXPECT_EQ(opened, 1) << "looked for again within the minute";
    EXPECT_TRUE(played.empty());
    now += 1s;
    player->PlayFile(dog);
    player->PlayFile(folder.File("missing.wav"));
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(played, (std::vector<std::string> {dog, ""})) << "a missing file plays the desktop's alert";

    gone = true;
    serverUp = false;
    now += 10s;
    player->PlayFile(dog);
    EXPECT_EQ(opened, 2) << "the output went away within a minute of the last look";
    gone = false;
    serverUp = true;
    now += 60s;
    player->PlayFile(dog);
    EXPECT_EQ(opened, 3);
    EXPECT_EQ(played.size(), 3u);
}

pid_t spawnWithOutput(const std::vector<std::string>& argv, const std::string& output)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool waitFor(const std::function<bool()>& condition)
{
    for (int waited = 0; waited < 10000; waited += 50) {
        if (condition())
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// The real service: a PulseAudio server of the test's own, started after the first alarm found none.
TEST(SoundPlayerTest, ASoundServerStartedAfterTheFirstAlarmPlaysTheAlarmAMinuteLater)
{
    if (std::system("command -v pulseaudio pactl >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "pulseaudio is not installed (scripts/setup installs it)";
    TempFolder runtime;
    const TSoundPlaces before {"", runtime.Path(), "", ""};
    if (SoundOutputPresent({"", "", "/dev/snd", ""}))
        GTEST_SKIP() << "this machine has a sound device, which would answer the first alarm";
    ASSERT_FALSE(SoundOutputPresent(before));
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    ::setenv("HOME", runtime.Path().c_str(), 1);
    ::setenv("PULSE_RUNTIME_PATH", runtime.File("pulse").c_str(), 1);
    ::unsetenv("PULSE_SERVER");
    auto now = std::chrono::steady_clock::time_point();
    const auto player = CreateSoundPlayer(OpenDesktopSoundOutput, [&] { return now; });
    player->PlayFile(CORVANE_SOURCE_DIR "/assets/dog.wav");

    const pid_t server = spawnWithOutput({"pulseaudio", "--daemonize=no", "-n", "--exit-idle-time=-1",
                                          "--load=module-native-protocol-unix", "--load=module-null-sink"},
                                         "/dev/null");
    ASSERT_GT(server, 0);
    const bool up = waitFor([&] { return SoundOutputPresent(before); });
    const pid_t watcher = spawnWithOutput({"pactl", "subscribe"}, runtime.File("events"));
    std::this_thread::sleep_for(500ms);
    now += 61s;
    player->PlayFile(CORVANE_SOURCE_DIR "/assets/dog.wav");
    const bool heard = waitFor([&] {
        std::ifstream events(runtime.File("events"));
        for (std::string line; std::getline(events, line);)
            if (line.find("'new' on sink-input") != std::string::npos)
                return true;
        return false;
    });
    for (const pid_t pid : {watcher, server}) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    EXPECT_TRUE(up) << "the test's server did not start";
    EXPECT_TRUE(heard) << "the alarm did not reach the server";
}

} // namespace
