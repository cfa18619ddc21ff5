#include "profiles/SiteProfile.h"

#include "platform/Paths.h"
#include "platform/TextUtil.h"
#include "profiles/LinkFile.h"
#include "settings/IniFile.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace zyfar {
namespace {

// Moves the profile file `path` to `target` (never over another profile);
// its lock sidecar goes and the links naming it follow. `name` is what a
// failure names.
ProfileResult MoveProfileFile(const std::string& path, const std::string& target, const std::string& name,
                              std::string* newPath) {
    if (target != path) {
        int err = 0;
        switch (RenameNoReplace(path, target, &err)) {
            case RenameOutcome::Ok: break;
            case RenameOutcome::SourceMissing: return Fail(ProfileStatus::DoesNotExist, name);
            case RenameOutcome::TargetExists: return Fail(ProfileStatus::AlreadyExists, name);
            case RenameOutcome::Failed: return FailErrno("Cannot rename", path, err);
        }
        RemoveLockSidecar(path);
        (void)OnSiteProfileRenamed(path, target);
    }
    if (newPath) *newPath = target;
    return {};
}

void WalkAnonymous(const std::string& folder, const std::string& email, int& changed) {
    for (const NamedPath& file : ListIniFilesBelow(folder)) {
        const auto user = ReadPrivateProfile(file.path).Get(kSiteSection, kSiteUserKey);
        if (!user || !IsAnonymousUser(*user)) continue;
        bool set = false;
        const bool ok = UpdatePrivateProfile(file.path, [&](IniDocument& doc) {
            // Checked again under the lock: the file may have changed since.
            const auto now = doc.Get(kSiteSection, kSiteUserKey);
            if (now && IsAnonymousUser(*now)) set = doc.Set(kSiteSection, kSitePasswordKey, email);
        });
        if (ok && set) ++changed;
    }
}

}  // namespace

bool IsAnonymousUser(std::string_view user) {
    return EqualsNoCase(user, kAnonymousUser);
}

std::string EncodeDescription(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '%': out += "%25"; break;
            case '\n': out += "%0A"; break;
            case '\r': out += "%0D"; break;
            case '\0': break;  // cannot be stored; dropped
            default: out += c; break;
        }
    }
    return out;
}

std::string DecodeDescription(std::string_view stored) {
    std::string out;
    out.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == '%' && i + 2 < stored.size()) {
            const std::string_view code = stored.substr(i + 1, 2);
            if (code == "25") { out += '%'; i += 2; continue; }
            if (code == "0A" || code == "0a") { out += '\n'; i += 2; continue; }
            if (code == "0D" || code == "0d") { out += '\r'; i += 2; continue; }
        }
        out += stored[i];
    }
    return out;
}

std::string SiteProfilePath(const std::string& folder, std::string_view typedName) {
    const std::string name = CutProfileName(typedName);
    if (!IsSafeName(name)) return {};
    return JoinPath(folder, name + kProfileExtension);
}

SiteProfile ReadSiteProfile(const std::string& path) {
    SiteProfile p;
    if (path.empty()) return p;
    const IniDocument doc = ReadPrivateProfile(path);
    p.host = doc.Get(kSiteSection, kSiteHostKey).value_or("");
    p.user = doc.Get(kSiteSection, kSiteUserKey).value_or("");
    p.password = doc.Get(kSiteSection, kSitePasswordKey).value_or("");
    p.remotePath = doc.Get(kSiteSection, kSiteRemotePathKey).value_or("");
    p.description = DecodeDescription(doc.Get(kSiteSection, kSiteDescriptionKey).value_or(""));
    p.encryption = doc.Get(kSiteSection, kSiteEncryptionKey).value_or("");
    const bool implicitTls = ParseEncryption(p.encryption) == Encryption::Implicit;
    p.port = doc.Get(kSiteSection, kSitePortKey).value_or(implicitTls ? kImplicitTlsPortText : kDefaultPortText);
    return p;
}

int SiteProfilePort(const SiteProfile& profile) {
    const int port = ParseLeadingInt(profile.port);
    return (port >= 1 && port <= 65535) ? port : 21;
}

Encryption SiteProfileEncryption(const SiteProfile& profile) { return ParseEncryption(profile.encryption); }

ProfileResult SaveSiteProfile(const std::string& folder, std::string_view typedName, const SiteProfile& profile,
                              SaveMode mode, std::string* savedPath) {
    const std::string name = CutProfileName(typedName);
    if (name.empty() || profile.host.empty() || profile.user.empty() || profile.password.empty() ||
        profile.port.empty())
        return Fail(ProfileStatus::MissingFields);
    const std::string path = SiteProfilePath(folder, name);
    if (path.empty()) return Fail(ProfileStatus::InvalidName, name);
    for (const std::string* v :
         {&profile.host, &profile.user, &profile.password, &profile.remotePath, &profile.port, &profile.encryption})
        if (HasLineBreakOrNul(*v)) return Fail(ProfileStatus::InvalidValue, name);
    if (!IsFolder(folder)) return Fail(ProfileStatus::NoSuchPath, folder);

    const std::string description = EncodeDescription(profile.description);
    bool existed = false;
    bool stored = true;
    const bool written = UpdatePrivateProfile(path, [&](IniDocument& doc) {
        // Existence is decided under the file's lock, so two saves of the
        // same new name cannot both succeed.
        existed = IsRegularFile(path);
        if ((mode == SaveMode::New) == existed) return;
        stored = doc.Set(kSiteSection, kSiteHostKey, profile.host) &&
                 doc.Set(kSiteSection, kSiteUserKey, profile.user) &&
                 doc.Set(kSiteSection, kSitePasswordKey, profile.password) &&
                 doc.Set(kSiteSection, kSiteRemotePathKey, profile.remotePath) &&
                 doc.Set(kSiteSection, kSiteDescriptionKey, description) &&
                 doc.Set(kSiteSection, kSitePortKey, profile.port) &&
                 (profile.encryption.empty() ||
                  doc.Set(kSiteSection, kSiteEncryptionKey, EncryptionText(ParseEncryption(profile.encryption))));
    });
    if (mode == SaveMode::New && existed) return Fail(ProfileStatus::AlreadyExists, name);
    if (mode == SaveMode::Update && !existed) return Fail(ProfileStatus::DoesNotExist, name);
    if (!written) return FailErrno("Cannot write", path, errno);
    if (!stored) return Fail(ProfileStatus::InvalidValue, name);
    if (savedPath) *savedPath = path;
    return {};
}

ProfileResult RenameSiteProfile(const std::string& path, std::string_view newTypedName, std::string* newPath) {
    const std::string name = CutProfileName(newTypedName);
    if (name.empty()) return Fail(ProfileStatus::MissingFields);
    const std::string target = SiteProfilePath(ParentFolderOf(path), name);
    if (target.empty()) return Fail(ProfileStatus::InvalidName, name);
    return MoveProfileFile(path, target, name, newPath);
}

ProfileResult MoveSiteProfile(const std::string& path, const std::string& targetFolder, std::string* newPath) {
    if (!IsFolder(targetFolder)) return Fail(ProfileStatus::NoSuchPath, targetFolder);
    return MoveProfileFile(path, JoinPath(targetFolder, FileNameOf(path)), FileNameOf(path), newPath);
}

ProfileResult DeleteSiteProfile(const std::string& path, std::vector<std::string>* removedLinks) {
    if (path.empty() || !IsRegularFile(path)) return Fail(ProfileStatus::DoesNotExist, path);
    if (::unlink(path.c_str()) != 0) return FailErrno("Cannot delete", path, errno);
    RemoveLockSidecar(path);
    std::vector<std::string> removed = DeleteLinksNaming(path);
    if (removedLinks) *removedLinks = std::move(removed);
    return {};
}

ProfileResult CreateProfileFolder(const std::string& parent, std::string_view label, std::string* newFolder) {
    const std::string name(label);
    if (!IsSafeName(name)) return Fail(ProfileStatus::InvalidName, name);
    if (!IsFolder(parent)) return Fail(ProfileStatus::NoSuchPath, parent);
    const std::string path = JoinPath(parent, name);
    if (::mkdir(path.c_str(), 0700) != 0) {
        if (errno == EEXIST) return Fail(ProfileStatus::FolderExists);
        return FailErrno("Cannot create", path, errno);
    }
    if (newFolder) *newFolder = path;
    return {};
}

ProfileResult RenameProfileFolder(const std::string& folder, std::string_view newLabel, std::string* newFolder) {
    const std::string label(newLabel);
    if (!IsSafeName(label)) return Fail(ProfileStatus::InvalidName, label);
    const std::string from = WithoutTrailingSlash(folder);
    if (!IsFolder(from)) return Fail(ProfileStatus::NoSuchPath, from);
    return MoveFolderNoReplace(from, JoinPath(ParentFolderOf(from), label), OnProfileFolderRenamed, newFolder);
}

ProfileResult MoveProfileFolder(const std::string& folder, const std::string& targetParent, std::string* newFolder) {
    const std::string from = WithoutTrailingSlash(folder);
    const std::string parent = WithoutTrailingSlash(targetParent);
    if (!IsFolder(from)) return Fail(ProfileStatus::NoSuchPath, from);
    if (!IsFolder(parent)) return Fail(ProfileStatus::NoSuchPath, parent);
    if (IsSameOrBelow(parent, from, false)) return Fail(ProfileStatus::InvalidName, parent);
    return MoveFolderNoReplace(from, JoinPath(parent, FileNameOf(from)), OnProfileFolderRenamed, newFolder);
}

std::vector<NamedPath> ListSiteProfiles() { return ListIniFilesBelow(ProfilesFolder()); }

bool IsStoredEmailValid(std::string_view email) {
    if (email.size() < 3) return false;
    return email.substr(1, email.size() - 2).find('@') != std::string_view::npos;
}

bool IsTypedEmailValid(std::string_view email) { return email.find('@') != std::string_view::npos; }

int FillAnonymousPasswords(const std::string& email) {
    if (HasLineBreakOrNul(email)) return -1;
    int changed = 0;
    WalkAnonymous(ProfilesFolder(), email, changed);
    return changed;
}

}  // namespace zyfar
