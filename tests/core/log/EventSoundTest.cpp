#include <gtest/gtest.h>

#include <mutex>

#include "log/EventSound.h"
#include "LogTestSupport.h"
#include "platform/SoundPlayer.h"
#include "settings/Keys.h"
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

class EventSoundTest : public logtest::LogTest {
protected:
    void SetUp() override {
        LogTest::SetUp();
        SetSoundPlayer(player);
    }
    void TearDown() override {
        SetSoundPlayer(nullptr);
        LogTest::TearDown();
    }
    std::shared_ptr<RecordingPlayer> player = std::make_shared<RecordingPlayer>();
};

TEST_F(EventSoundTest, AbsentKeysPlayNothing) {
    for (SoundEvent e : {SoundEvent::ConnectOk, SoundEvent::ConnectFail, SoundEvent::TransferOk,
                         SoundEvent::TransferFail}) {
        PlayEventSound(e);
    }
    EXPECT_TRUE(player->played.empty());
}

TEST_F(EventSoundTest, EachEventPlaysItsOwnKey) {
    WriteProfileString("SOUNDS", "ConnectOk", "/snd/connect.wav");
    WriteProfileString("SOUNDS", "ConnectFail", "/snd/connect-fail.wav");
    WriteProfileString("SOUNDS", "TransferOk", "/snd/done.wav");
    WriteProfileString("SOUNDS", "TransferFail", "/snd/failed.wav");
    PlayEventSound(SoundEvent::TransferFail);
    PlayEventSound(SoundEvent::ConnectOk);
    PlayEventSound(SoundEvent::TransferOk);
    PlayEventSound(SoundEvent::ConnectFail);
    EXPECT_EQ(player->played, (std::vector<std::string>{"/snd/failed.wav", "/snd/connect.wav", "/snd/done.wav",
                                                        "/snd/connect-fail.wav"}));
}

TEST_F(EventSoundTest, AnEmptyPathIsPassedOnAndNotFoundIsNot) {
    WriteProfileString("SOUNDS", "ConnectOk", "");
    WriteProfileString("SOUNDS", "TransferOk", "NotFound");
    PlayEventSound(SoundEvent::ConnectOk);
    PlayEventSound(SoundEvent::TransferOk);
    EXPECT_EQ(player->played, (std::vector<std::string>{""}));
}

TEST_F(EventSoundTest, TransferSoundMode) {
    EXPECT_FALSE(TransferSoundPerFile());  // absent = BATCH
    WriteProfileString("SOUNDS", "TransferType", "FILE");
    EXPECT_TRUE(TransferSoundPerFile());
    WriteProfileString("SOUNDS", "TransferType", "file");
    EXPECT_FALSE(TransferSoundPerFile());
}

TEST_F(EventSoundTest, ThePlayerCanBeResetToSilence) {
    WriteProfileString("SOUNDS", "ConnectOk", "/snd/connect.wav");
    SetSoundPlayer(nullptr);
    ASSERT_NE(GetSoundPlayer(), nullptr);
    PlayEventSound(SoundEvent::ConnectOk);  // the null player: nothing happens
    EXPECT_TRUE(player->played.empty());
    SetSoundPlayer(player);
    EXPECT_EQ(GetSoundPlayer().get(), player.get());
    PlayEventSound(SoundEvent::ConnectOk);
    EXPECT_EQ(player->played.size(), 1u);
}

}  // namespace
}  // namespace zyfar
