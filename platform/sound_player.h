// Playing a short sound file through the desktop's event-sound service, without waiting for it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class ISoundPlayer
{
public:
    virtual ~ISoundPlayer() = default;
    // Starts `path` and returns at once; a sound still playing is stopped first.
    // When the file is missing the desktop's default alert plays instead. Never blocks, never raises.
    virtual void PlayFile(const std::string& path) = 0;
};

// One connection to a sound output.
class ISoundOutput
{
public:
    virtual ~ISoundOutput() = default;
    // Starts the file at `path`, or the desktop's alert for an empty path, cutting short what still plays.
    // False when the output is gone (its server stopped, say); a file it cannot play does not count.
    virtual bool Play(const std::string& path) = 0;
};

// The desktop's sound service (libcanberra, loaded here rather than at start-up: most runs never sound an
// alarm), or null when the machine shows no output.
std::unique_ptr<ISoundOutput> OpenDesktopSoundOutput();

// How long a missing output is taken as missing before the next play looks for it again.
inline constexpr std::chrono::seconds SoundOutputRetry {60};

// A player over the outputs `open` makes: the first play opens one, and a later play opens one again when
// there was none or it went away, at most once per SoundOutputRetry of `now`. A sound server that starts
// after the program is heard from the next alarm on.
std::unique_ptr<ISoundPlayer> CreateSoundPlayer(std::function<std::unique_ptr<ISoundOutput>()> open,
                                                std::function<std::chrono::steady_clock::time_point()> now);

// The player over the desktop's output.
std::unique_ptr<ISoundPlayer> CreateDesktopSoundPlayer();

// Where a sound output would show itself.
struct TSoundPlaces
{
    std::string pulseServer; // a sound server named in the environment
    std::string runtimeFolder; // the user's runtime folder, where a sound server puts its socket
    std::string deviceFolder; // the sound devices, where playback devices are pcmC<card>D<device>p
    std::string alsaUserConfig; // a user's own sound-library configuration, which may point anywhere
};
TSoundPlaces DesktopSoundPlaces();

// Whether anything can play a sound. Without a server or a playback device the sound library writes a
// screenful of errors for every play and plays nothing.
bool SoundOutputPresent(const TSoundPlaces& places);
