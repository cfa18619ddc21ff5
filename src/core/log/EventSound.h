#pragma once
// Event sounds: the wave files of section SOUNDS, played through the
// process-wide SoundPlayer.
#include <string_view>

namespace zyfar {

enum class SoundEvent { ConnectOk, ConnectFail, TransferOk, TransferFail };

// The SOUNDS key of an event ("ConnectOk", "ConnectFail", "TransferOk",
// "TransferFail").
[[nodiscard]] std::string_view SoundEventKey(SoundEvent event);

// Reads the event's key (absent = "NotFound") and, unless it is "NotFound",
// hands the path to the player, which returns at once. An empty path is
// passed on as it is (the player ignores what it cannot play).
void PlayEventSound(SoundEvent event);

// SOUNDS/TransferType: true for "FILE" (a transfer sound after each file),
// false for "BATCH" and anything else (one sound per batch).
[[nodiscard]] bool TransferSoundPerFile();

}  // namespace zyfar
