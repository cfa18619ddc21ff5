#pragma once
#include <memory>

#include "platform/SoundPlayer.h"

namespace zyfar {

// Plays event sounds through libcanberra (asynchronously). When the library
// is not available, or no sound server answers, nothing is played.
[[nodiscard]] std::shared_ptr<SoundPlayer> MakeDesktopSoundPlayer();

}  // namespace zyfar
