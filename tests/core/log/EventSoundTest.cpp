// Event sounds: each event plays the file of its own key, absent or
// "NotFound" keys play nothing, and the per-file/batch switch.
#include <gtest/gtest.h>

#include <mutex>

#include "log/EventSound.h"
#include "LogTestSupport.h"
#include "platform/SoundPlayer.h"
#include "settings/SettingsStore.h"

namespace zyfar {
namespace {

class RecordingPlayer final : public SoundPlayer {
public:
    void Play(const std::string& path) override {
        std::lock_guard guard(mutex);
        played.push_back(path);
    }
    std::mutex mutex;
    std::vector<std::string> played;
};

class EventSoundTest : public logtest::LogTest {};

TEST_F(EventSoundTest, EachEventPlaysItsOwnKeyAndAbsentOrNotFoundPlaysNothing) {
    auto player = std::make_shared<RecordingPlayer>();
    SetSoundPlayer(player);
    const SoundEvent all[] = {SoundEvent::ConnectOk, SoundEvent::ConnectFail, SoundEvent::TransferOk,
                              SoundEvent::TransferFail};
    for (SoundEvent e : all) PlayEventSound(e);
    EXPECT_TRUE(player->played.empty());
    WriteProfileString("SOUNDS", "ConnectOk", "/snd/connect.wav");
    WriteProfileString("SOUNDS", "ConnectFail", "/snd/connect-fail.wav");
    WriteProfileString("SOUNDS", "TransferOk", "/snd/done.wav");
    WriteProfileString("SOUNDS", "TransferFail", "/snd/failed.wav");
    for (SoundEvent e : all) PlayEventSound(e);
    EXPECT_EQ(player->played, (std::vector<std::string>{"/snd/connect.wav", "/snd/connect-fail.wav", "/snd/done.wav",
                                                        "/snd/failed.wav"}));
    WriteProfileString("SOUNDS", "ConnectOk", "");  // passed on: the player ignores what it cannot play
    WriteProfileString("SOUNDS", "TransferOk", "NotFound");
    PlayEventSound(SoundEvent::ConnectOk);
    PlayEventSound(SoundEvent::TransferOk);
    EXPECT_EQ(player->played.size(), 5u);
    EXPECT_EQ(player->played.back(), "");
    SetSoundPlayer(nullptr);  // back to silence
    ASSERT_NE(GetSoundPlayer(), nullptr);
    PlayEventSound(SoundEvent::ConnectFail);
    EXPECT_EQ(player->played.size(), 5u);

    EXPECT_FALSE(TransferSoundPerFile());  // absent = BATCH
    WriteProfileString("SOUNDS", "TransferType", "FILE");
    EXPECT_TRUE(TransferSoundPerFile());
    WriteProfileString("SOUNDS", "TransferType", "file");
    EXPECT_FALSE(TransferSoundPerFile());
}

}  // namespace
}  // namespace zyfar
