#include "app/CanberraSoundPlayer.h"

#include <mutex>

#ifdef ZYFAR_HAVE_CANBERRA
#include <canberra.h>
#endif

namespace zyfar {
namespace {

#ifdef ZYFAR_HAVE_CANBERRA
class CanberraSoundPlayer final : public SoundPlayer {
public:
    CanberraSoundPlayer() {
        if (ca_context_create(&context_) != CA_SUCCESS) context_ = nullptr;
    }
    ~CanberraSoundPlayer() override {
        if (context_) ca_context_destroy(context_);
    }
    CanberraSoundPlayer(const CanberraSoundPlayer&) = delete;
    CanberraSoundPlayer& operator=(const CanberraSoundPlayer&) = delete;

    void Play(const std::string& path) override {
        if (!context_ || path.empty()) return;
        // One context is shared by every thread; libcanberra calls on one
        // context are serialised here. Playback failures are ignored.
        std::lock_guard lock(mutex_);
        (void)ca_context_play(context_, ++id_, CA_PROP_MEDIA_FILENAME, path.c_str(),
                              CA_PROP_EVENT_DESCRIPTION, "Zyfar event", nullptr);
    }

private:
    ca_context* context_ = nullptr;
    std::mutex mutex_;
    uint32_t id_ = 0;
};
#endif

}  // namespace

std::shared_ptr<SoundPlayer> MakeDesktopSoundPlayer() {
#ifdef ZYFAR_HAVE_CANBERRA
    return std::make_shared<CanberraSoundPlayer>();
#else
    return std::make_shared<NullSoundPlayer>();
#endif
}

}  // namespace zyfar
