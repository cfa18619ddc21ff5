#include "platform/SoundPlayer.h"

#include <mutex>

namespace zyfar {
namespace {

std::mutex& PlayerMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<SoundPlayer>& PlayerSlot() {
    static std::shared_ptr<SoundPlayer> player = std::make_shared<NullSoundPlayer>();
    return player;
}

}  // namespace

void NullSoundPlayer::Play(const std::string& /*path*/) {}

void SetSoundPlayer(std::shared_ptr<SoundPlayer> player) {
    if (!player) player = std::make_shared<NullSoundPlayer>();
    std::lock_guard guard(PlayerMutex());
    PlayerSlot() = std::move(player);
}

std::shared_ptr<SoundPlayer> GetSoundPlayer() {
    std::lock_guard guard(PlayerMutex());
    return PlayerSlot();
}

}  // namespace zyfar
