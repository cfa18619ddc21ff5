#include "log/EventSound.h"

#include "platform/SoundPlayer.h"
#include "settings/Keys.h"

namespace zyfar {
namespace {

const KeyDef& SoundKey(SoundEvent event) {
    switch (event) {
        case SoundEvent::ConnectOk: return keys::SoundConnectOk;
        case SoundEvent::ConnectFail: return keys::SoundConnectFail;
        case SoundEvent::TransferOk: return keys::SoundTransferOk;
        case SoundEvent::TransferFail: break;
    }
    return keys::SoundTransferFail;
}

}  // namespace

std::string_view SoundEventKey(SoundEvent event) { return SoundKey(event).key; }

void PlayEventSound(SoundEvent event) {
    const KeyDef& key = SoundKey(event);
    const std::string path = Read(key);
    if (path == key.textDefault) return;  // "NotFound": no sound chosen
    GetSoundPlayer()->Play(path);
}

bool TransferSoundPerFile() { return IsSoundPerFile(Read(keys::SoundTransferType)); }

}  // namespace zyfar
