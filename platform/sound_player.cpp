#include "platform/sound_player.h"

#include "platform/folder_entry.h"

#include <canberra.h>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
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

// A file the output may open by its name: a plain file, and as root in the program folder not a link.
bool playableFile(const std::string& path)
{
    const TFolderEntry entry(path);
    struct stat st
    {
    };
    return entry.Folder() >= 0 && ::fstatat(entry.Folder(), entry.Name().c_str(), &st, entry.StatFlags()) == 0
        && S_ISREG(st.st_mode);
}

// The few calls of libcanberra the alarm needs, from the library loaded on first use.
struct TCanberra
{
    decltype(&ca_context_create) create = nullptr;
    decltype(&ca_context_destroy) destroy = nullptr;
    decltype(&ca_context_cancel) cancel = nullptr;
    decltype(&ca_context_play) play = nullptr;

    static const TCanberra* Load()
    {
        static const TCanberra loaded = [] {
            TCanberra library;
            // Never closed: the library may keep threads of its own running.
            void* handle = ::dlopen("libcanberra.so.0", RTLD_NOW | RTLD_LOCAL);
            if (!handle)
                return library;
            library.create = reinterpret_cast<decltype(create)>(::dlsym(handle, "ca_context_create"));
            library.destroy = reinterpret_cast<decltype(destroy)>(::dlsym(handle, "ca_context_destroy"));
            library.cancel = reinterpret_cast<decltype(cancel)>(::dlsym(handle, "ca_context_cancel"));
            library.play = reinterpret_cast<decltype(play)>(::dlsym(handle, "ca_context_play"));
            return library;
        }();
        return loaded.create && loaded.destroy && loaded.cancel && loaded.play ? &loaded : nullptr;
    }
};

class CanberraSoundOutput final : public ISoundOutput
{
public:
    CanberraSoundOutput(const TCanberra& library, ca_context* context)
        : m_library(library)
        , m_context(context)
    { }
    ~CanberraSoundOutput() override { m_library.destroy(m_context); }
    CanberraSoundOutput(const CanberraSoundOutput&) = delete;
    CanberraSoundOutput& operator=(const CanberraSoundOutput&) = delete;

    bool Play(const std::string& path) override
    {
        // One sound id for all plays, so a new alarm cuts the previous one short instead of overlapping.
        m_library.cancel(m_context, SoundId);
        const int result = path.empty()
            ? m_library.play(m_context, SoundId, CA_PROP_EVENT_ID, "bell", CA_PROP_MEDIA_ROLE, "event", nullptr)
            : m_library.play(m_context, SoundId, CA_PROP_MEDIA_FILENAME, path.c_str(), CA_PROP_MEDIA_ROLE, "event",
                             nullptr);
        switch (result) {
        // Played, or this file could not be: the output itself is fine.
        case CA_SUCCESS:
        case CA_ERROR_NOTSUPPORTED:
        case CA_ERROR_CORRUPT:
        case CA_ERROR_TOOBIG:
        case CA_ERROR_NOTFOUND:
        case CA_ERROR_ACCESS:
        case CA_ERROR_IO:
        case CA_ERROR_CANCELED:
            return true;
        default:
            return false;
        }
    }

private:
    static constexpr uint32_t SoundId = 1;
    const TCanberra& m_library;
    ca_context* m_context;
};

class ReprobingSoundPlayer final : public ISoundPlayer
{
public:
    ReprobingSoundPlayer(std::function<std::unique_ptr<ISoundOutput>()> open,
                         std::function<std::chrono::steady_clock::time_point()> now)
        : m_open(std::move(open))
        , m_now(std::move(now))
    { }

    void PlayFile(const std::string& path) override
    {
        const std::string file = playableFile(path) ? path : std::string();
        // A second round for an output that went away: the new one may already be there.
        for (int round = 0; round < 2; ++round) {
            if (!m_output && !probe())
                return;
            if (m_output->Play(file))
                return;
            m_output.reset();
        }
    }

private:
    bool probe()
    {
        const auto now = m_now();
        if (m_probed && now - m_lastProbe < SoundOutputRetry)
            return false;
        m_probed = true;
        m_lastProbe = now;
        m_output = m_open();
        return m_output != nullptr;
    }

    std::function<std::unique_ptr<ISoundOutput>()> m_open;
    std::function<std::chrono::steady_clock::time_point()> m_now;
    std::unique_ptr<ISoundOutput> m_output;
    bool m_probed = false;
    std::chrono::steady_clock::time_point m_lastProbe;
};

} // namespace

std::unique_ptr<ISoundOutput> OpenDesktopSoundOutput()
{
    if (!SoundOutputPresent(DesktopSoundPlaces()))
        return nullptr;
    const TCanberra* library = TCanberra::Load();
    ca_context* context = nullptr;
    if (!library || library->create(&context) != CA_SUCCESS)
        return nullptr;
    return std::make_unique<CanberraSoundOutput>(*library, context);
}

std::unique_ptr<ISoundPlayer> CreateSoundPlayer(std::function<std::unique_ptr<ISoundOutput>()> open,
                                                std::function<std::chrono::steady_clock::time_point()> now)
{
    return std::make_unique<ReprobingSoundPlayer>(std::move(open), std::move(now));
}

std::unique_ptr<ISoundPlayer> CreateDesktopSoundPlayer()
{
    return CreateSoundPlayer(OpenDesktopSoundOutput, [] { return std::chrono::steady_clock::now(); });
}

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
