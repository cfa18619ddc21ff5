#pragma once
// Playback of the event sound files. The GUI installs a player that plays a
// media file asynchronously; without one nothing is played (headless runs,
// tests).
#include <memory>
#include <string>

namespace zyfar {

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Starts playing the file and returns at once. Called from any thread;
    // a file that cannot be played is ignored.
    virtual void Play(const std::string& path) = 0;
};

// Plays nothing.
class NullSoundPlayer final : public SoundPlayer {
public:
    void Play(const std::string& path) override;
};

// Installs the process-wide player; a null pointer restores the null player.
// Safe to call while other threads play sounds: a Play call already running
// keeps its player alive until it returns.
void SetSoundPlayer(std::shared_ptr<SoundPlayer> player);

// The process-wide player (never null).
[[nodiscard]] std::shared_ptr<SoundPlayer> GetSoundPlayer();

}  // namespace zyfar
