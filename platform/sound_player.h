// Playing a short sound file through the desktop's event-sound service, without waiting for it.
#pragma once

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

// The desktop's sound service (libcanberra). Without a sound output it stays silent: the machine is
// probed once, when the player is made.
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
