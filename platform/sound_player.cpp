#include "platform/sound_player.h"

#include <canberra.h>
#include <cstdlib>
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

namespace {

bool exists(const std::string& path)
{
    struct stat st
    {
    };
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

class CanberraSoundPlayer final : public ISoundPlayer
{
public:
    CanberraSoundPlayer()
    {
        if (!SoundOutputPresent(DesktopSoundPlaces()))
            return;
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

TSoundPlaces DesktopSoundPlaces()
{
    const std::string home = environment("HOME");
    return {environment("PULSE_SERVER"), environment("XDG_RUNTIME_DIR"), "/dev/snd",
            home.empty() ? std::string() : home + "/.asoundrc"};
}

bool SoundOutputPresent(const TSoundPlaces& places)
{
    if (!places.pulseServer.empty() || exists(places.alsaUserConfig))
        return true;
    if (!places.runtimeFolder.empty()
        && (exists(places.runtimeFolder + "/pulse/native") || exists(places.runtimeFolder + "/pipewire-0")))
        return true;
    DIR* devices = places.deviceFolder.empty() ? nullptr : ::opendir(places.deviceFolder.c_str());
    if (!devices)
        return false;
    bool playback = false;
    while (const dirent* entry = ::readdir(devices))
        playback = playback || ::fnmatch("pcmC*D*p", entry->d_name, 0) == 0;
    ::closedir(devices);
    return playback;
}

std::unique_ptr<ISoundPlayer> CreateDesktopSoundPlayer()
{
    return std::make_unique<CanberraSoundPlayer>();
}
