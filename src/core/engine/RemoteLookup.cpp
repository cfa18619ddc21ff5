#include "engine/RemoteLookup.h"

#include "engine/TransferJob.h"
#include "engine/TransferPaths.h"
#include "platform/WorkerControl.h"

namespace zyfar {

namespace {

// The folder as a key: without separators at its end (a root stays).
std::string FolderKey(const std::string& folder) {
    const char sep = RemoteSeparatorFor(folder);
    std::string key = folder;
    while (key.size() > 1 && key.back() == sep) {
        key.pop_back();
    }
    return key;
}

bool Gone(const FtpClient& client) {
    return !client.IsConnected() || (client.control() != nullptr && client.control()->IsCancelled());
}

RemoteLookup::Found Unknown(FtpResult failure) { return {RemoteLookup::Kind::Unknown, std::move(failure)}; }

}  // namespace

RemoteLookup::Found RemoteLookup::Find(FtpClient& client, const std::string& folder, const std::string& name) {
    const std::string key = FolderKey(folder);
    const std::string path = JoinWithSeparator(key, RemoteSeparatorFor(key), name);
    auto kept = folders_.find(key);
    if (kept == folders_.end() && client.features().mlst) {
        FtpOutcome<RemoteEntry> entry = client.MlstEntry(path);
        if (entry.ok()) {
            return {entry.value.isDirectory ? Kind::Folder : Kind::File, FtpOk()};
        }
        if (Gone(client)) {
            return Unknown(entry.result);
        }
        // Refused ("no such file", or not allowed to look): the listing tells.
    }
    if (kept == folders_.end()) {
        auto refused = refused_.find(key);
        FtpOutcome<std::vector<RemoteEntry>> listed =
            refused == refused_.end() ? client.ListEntries(key) : FtpOutcome<std::vector<RemoteEntry>>(refused->second);
        if (!listed.ok()) {
            if (Gone(client)) {
                return Unknown(listed.result);
            }
            refused_.emplace(key, listed.result);
            // The folder cannot be listed: only SIZE can still tell that a
            // file is there; nothing it says proves that none is.
            FtpOutcome<std::int64_t> size = client.Size(path);
            if (size.ok()) {
                return {Kind::File, FtpOk()};
            }
            return Unknown(listed.result);
        }
        std::map<std::string, bool> names;
        for (const RemoteEntry& e : listed.value) {
            names.emplace(e.name, e.isDirectory);
        }
        kept = folders_.emplace(key, std::move(names)).first;
    }
    auto it = kept->second.find(name);
    if (it == kept->second.end()) {
        return {Kind::Absent, FtpOk()};
    }
    return {it->second ? Kind::Folder : Kind::File, FtpOk()};
}

void RemoteLookup::NoteCreated(const std::string& folder, const std::string& name, bool isDirectory) {
    auto kept = folders_.find(FolderKey(folder));
    if (kept != folders_.end()) {
        kept->second.insert_or_assign(name, isDirectory);
    }
}

std::string CannotTellText(const FtpResult& failure) {
    std::string text = kCantOverwriteText;
    text += " The server does not say whether the file exists";
    if (!failure.text.empty()) {
        text += " (" + failure.text + ")";
    }
    text += ".";
    return text;
}

}  // namespace zyfar
