// The alarm player: plays one wave file asynchronously and not looped.
#pragma once

#include "platform/sound_player.h"

#include <memory>
#include <string>

class TWavePlayer final
{
public:
    TWavePlayer();
    ~TWavePlayer();

    const std::string& FileName() const { return m_fileName; }
    void SetFileName(std::string fileName) { m_fileName = std::move(fileName); }

    // Starts FileName(); a sound still playing is replaced.
    void Play();

    // Tests count plays through their own player; null goes back to the desktop's.
    static void SetPlayerForTesting(std::shared_ptr<ISoundPlayer> player);

private:
    std::string m_fileName;
};
