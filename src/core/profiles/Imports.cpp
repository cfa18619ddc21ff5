#include "profiles/Imports.h"

#include "platform/Paths.h"
#include "platform/TextUtil.h"
#include "profiles/SiteProfile.h"
#include "settings/IniFile.h"

#include <algorithm>
#include <optional>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zyfar {
namespace {

constexpr off_t kMaxImportFileSize = 64 * 1024 * 1024;

bool IsWordBreak(char c) { return c == '\0' || IsWhiteSpace(c); }

// The import file's name without its folder and its last extension.
std::string ImportBaseName(const std::string& path) {
    std::string name = FileNameOf(path);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot != 0) name.resize(dot);
    return name;
}

ProfileResult ReadSmallFile(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return FailErrno("Cannot open", path, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(ProfileStatus::NotServerFile, path);
    }
    if (st.st_size > kMaxImportFileSize) {
        ::close(fd);
        return Fail(ProfileStatus::IoError, "File too large: " + path);
    }
    out.clear();
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            return FailErrno("Cannot read", path, err);
        }
        if (n == 0) break;
        out.append(chunk, static_cast<std::size_t>(n));
        if (out.size() > static_cast<std::size_t>(kMaxImportFileSize)) {
            ::close(fd);
            return Fail(ProfileStatus::IoError, "File too large: " + path);
        }
    }
    ::close(fd);
    return {};
}

constexpr const char* kImportedKeys[] = {kSiteHostKey, kSiteUserKey, kSitePasswordKey, kSiteRemotePathKey,
                                         kSitePortKey};
using FormerKeys = std::vector<std::optional<std::string>>;  // one per imported key

// Writes the five imported keys into a profile file, new or existing.
// `existed` tells which it was (decided under the file's lock) and `former`
// gets the keys' values before, for a roll-back.
bool WriteImportedProfile(const std::string& path, const ImportedSite& site, bool& existed, FormerKeys& former) {
    bool stored = true;
    existed = false;
    const bool written = UpdatePrivateProfile(path, [&](IniDocument& doc) {
        existed = PathExists(path);
        former.clear();
        for (const char* key : kImportedKeys) former.push_back(doc.Get(kSiteSection, key));
        stored = doc.Set(kSiteSection, kSiteHostKey, site.host) && doc.Set(kSiteSection, kSiteUserKey, site.user) &&
                 doc.Set(kSiteSection, kSitePasswordKey, site.password) &&
                 doc.Set(kSiteSection, kSiteRemotePathKey, site.remotePath) &&
                 doc.Set(kSiteSection, kSitePortKey, kDefaultPortText);
    });
    return written && stored;
}

void RestoreImportedKeys(const std::string& path, const FormerKeys& former) {
    (void)UpdatePrivateProfile(path, [&](IniDocument& doc) {
        for (std::size_t i = 0; i < former.size(); ++i) {
            if (former[i])
                (void)doc.Set(kSiteSection, kImportedKeys[i], *former[i]);
            else
                (void)doc.RemoveKey(kSiteSection, kImportedKeys[i]);
        }
    });
}

}  // namespace

ProfileResult ReadServerFileRecords(const std::string& path, std::vector<std::string>& records) {
    records.clear();
    std::string text;
    if (ProfileResult r = ReadSmallFile(path, text); !r.ok()) return r;
    if (text.compare(0, kServerFileMarker.size(), kServerFileMarker) != 0) return Fail(ProfileStatus::NotServerFile);
    std::size_t pos = text.find('\n');
    if (pos == std::string::npos) return {};  // the marker line alone
    ++pos;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) break;  // a last line without "\n" is not a record
        std::string line = text.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        records.push_back(std::move(line));
        pos = nl + 1;
    }
    return {};
}

ImportedSite ParseSiteRecord(std::string_view record) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < record.size() && words.size() < 4) {
        while (i < record.size() && IsWordBreak(record[i])) ++i;
        const std::size_t start = i;
        while (i < record.size() && !IsWordBreak(record[i])) ++i;
        if (i > start) words.emplace_back(record.substr(start, i - start));
    }
    words.resize(4);
    ImportedSite site{words[0], words[1], words[2], words[3]};
    if (site.remotePath == kNoRemotePathWord) site.remotePath.clear();
    return site;
}

SiteImportResult ImportSiteList(const std::string& stsPath, const std::string& targetFolder) {
    SiteImportResult out;
    std::vector<std::string> records;
    out.result = ReadServerFileRecords(stsPath, records);
    if (!out.result.ok()) return out;
    if (!IsFolder(targetFolder)) {
        out.result = Fail(ProfileStatus::NoSuchPath, targetFolder);
        return out;
    }
    const std::string base = ImportBaseName(stsPath);
    struct Planned {
        std::string name;
        std::string path;
        ImportedSite site;
    };
    std::vector<Planned> plan;
    for (std::size_t n = 0; n < records.size(); ++n) {
        ImportedSite site = ParseSiteRecord(records[n]);
        if (site.host.empty() && site.user.empty() && site.password.empty() && site.remotePath.empty()) continue;
        std::string name = base + std::to_string(n);
        if (!IsSafeName(name)) {
            out.result = Fail(ProfileStatus::InvalidName, name);
            return out;
        }
        std::string path = JoinPath(targetFolder, name + kProfileExtension);
        if (PathExists(path) && !IsRegularFile(path)) {
            out.result = Fail(ProfileStatus::NotAFolder, path);
            return out;
        }
        plan.push_back({std::move(name), std::move(path), std::move(site)});
    }
    std::vector<FormerKeys> formers;  // one per updated profile
    for (const Planned& p : plan) {
        bool existed = false;
        FormerKeys former;
        if (WriteImportedProfile(p.path, p.site, existed, former)) {
            if (existed) {
                out.updated.push_back({p.name, p.path});
                formers.push_back(std::move(former));
            } else {
                out.created.push_back({p.name, p.path});
            }
            continue;
        }
        const int err = errno;
        if (!existed) ::unlink(p.path.c_str());  // a half-made profile must not stay
        for (const NamedPath& c : out.created) {
            ::unlink(c.path.c_str());
            RemoveLockSidecar(c.path);
        }
        for (std::size_t i = 0; i < out.updated.size(); ++i)
            RestoreImportedKeys(out.updated[i].path, formers[i]);
        out.created.clear();
        out.updated.clear();
        out.result = FailErrno("Cannot write", p.path, err);
        return out;
    }
    return out;
}

FileImportResult ImportFileList(const std::string& flsPath, std::vector<FileListItem> current, ImportMode mode) {
    FileImportResult out;
    std::vector<std::string> records;
    out.result = ReadServerFileRecords(flsPath, records);
    if (!out.result.ok()) {
        out.items = std::move(current);
        return out;
    }
    if (mode == ImportMode::Replace) current.clear();
    out.items = std::move(current);
    for (const std::string& path : records) {
        if (path.empty() || path.front() != '/' || path.find('*') != std::string::npos) continue;
        if (path.find('\0') != std::string::npos) continue;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        FileListItem item;
        item.folder = ParentFolderOf(path);
        item.localName = FileNameOf(path);
        item.remoteName = item.localName;
        item.size = static_cast<std::int64_t>(st.st_size);
        item.lastWrite = static_cast<std::int64_t>(st.st_mtim.tv_sec);
        auto it = std::find_if(out.items.begin(), out.items.end(), [&](const FileListItem& i) {
            return i.folder == item.folder && i.localName == item.localName;
        });
        if (it != out.items.end()) {
            it->size = item.size;
            it->lastWrite = item.lastWrite;
            ++out.updated;
        } else {
            out.items.push_back(std::move(item));
            ++out.added;
        }
    }
    return out;
}

}  // namespace zyfar
