// The alarm's sound output: found where a desktop has one, and silent, errors included, where there is none.
#include "platform/sound_player.h"
#include "tests/support/temp_folder.h"

#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

} // namespace
