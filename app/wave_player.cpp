#include "app/wave_player.h"

namespace {

std::shared_ptr<ISoundPlayer>& testPlayer()
{
    static std::shared_ptr<ISoundPlayer> player;
    return player;
}

ISoundPlayer& desktopPlayer()
{
    // Opened on the first alarm, not at start-up: most runs never sound one.
    static const std::unique_ptr<ISoundPlayer> player = CreateDesktopSoundPlayer();
    return *player;
}

} // namespace

TWavePlayer::TWavePlayer() = default;
TWavePlayer::~TWavePlayer() = default;

void TWavePlayer::Play()
{
    if (const auto& player = testPlayer())
        player->PlayFile(m_fileName);
    else
        desktopPlayer().PlayFile(m_fileName);
}

void TWavePlayer::SetPlayerForTesting(std::shared_ptr<ISoundPlayer> player)
{
    testPlayer() = std::move(player);
}
