// The alarm's sound output: found where a desktop has one, and silent, errors included, where there is none.
#include "platform/sound_player.h"
#include "tests/support/temp_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(SoundOutputTest, AServerOrAPlaybackDeviceIsAnOutput)
{
    TempFolder folder;
    folder.MakeFolder("run");
    folder.MakeFolder("run/pulse");
    folder.MakeFolder("snd");
    folder.Write("snd/controlC0", "");
    folder.Write("snd/pcmC0D0c", ""); // a capture device plays nothing
    TSoundPlaces places {"", folder.File("run"), folder.File("snd"), folder.File("no-asoundrc")};
    EXPECT_FALSE(SoundOutputPresent(places));
    EXPECT_FALSE(SoundOutputPresent({}));

    folder.Write("snd/pcmC1D3p", "");
    EXPECT_TRUE(SoundOutputPresent(places));

    places.deviceFolder = folder.File("missing");
    EXPECT_FALSE(SoundOutputPresent(places));
    folder.Write("run/pipewire-0", "");
    EXPECT_TRUE(SoundOutputPresent(places));

    EXPECT_TRUE(SoundOutputPresent({"tcp:soundbox", "", "", ""}));
    folder.Write("asoundrc", "pcm.!default bluealsa\n");
    EXPECT_TRUE(SoundOutputPresent({"", "", "", folder.File("asoundrc")}));
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
