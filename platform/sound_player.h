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

// The desktop's sound service (libcanberra). Without a sound server it stays silent.
std::unique_ptr<ISoundPlayer> CreateDesktopSoundPlayer();
