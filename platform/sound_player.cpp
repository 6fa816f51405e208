#include "platform/sound_player.h"

#include <canberra.h>
#include <sys/stat.h>

namespace {

class CanberraSoundPlayer final : public ISoundPlayer
{
public:
    CanberraSoundPlayer()
    {
        if (ca_context_create(&m_context) != CA_SUCCESS)
            m_context = nullptr;
    }

    ~CanberraSoundPlayer() override
    {
        if (m_context)
            ca_context_destroy(m_context);
    }

    CanberraSoundPlayer(const CanberraSoundPlayer&) = delete;
    CanberraSoundPlayer& operator=(const CanberraSoundPlayer&) = delete;

    void PlayFile(const std::string& path) override
    {
        if (!m_context)
            return;
        // One sound id for all plays, so a new alarm cuts the previous one short instead of overlapping.
        ca_context_cancel(m_context, SoundId);
        struct stat st
        {
        };
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ca_context_play(m_context, SoundId, CA_PROP_MEDIA_FILENAME, path.c_str(), CA_PROP_MEDIA_ROLE, "event",
                            nullptr);
        else
            ca_context_play(m_context, SoundId, CA_PROP_EVENT_ID, "bell", CA_PROP_MEDIA_ROLE, "event", nullptr);
    }

private:
    static constexpr uint32_t SoundId = 1;
    ca_context* m_context = nullptr;
};

} // namespace

std::unique_ptr<ISoundPlayer> CreateDesktopSoundPlayer()
{
    return std::make_unique<CanberraSoundPlayer>();
}
