#include "profiles/Imports.h"

#include "platform/Paths.h"
#include "platform/TextUtil.h"
#include "profiles/SiteProfile.h"
#include "settings/IniFile.h"

#include <algorithm>
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

// Writes one imported profile unless a file of that name exists (checked
// under the file's lock). Returns false with `exists` set when skipped.
bool WriteImportedProfile(const std::string& path, const ImportedSite& site, bool& exists) {
    bool stored = true;
    exists = false;
    const bool written = UpdatePrivateProfile(path, [&](IniDocument& doc) {
        exists = PathExists(path);
        if (exists) return;
        stored = doc.Set(kSiteSection, kSiteHostKey, site.host) && doc.Set(kSiteSection, kSiteUserKey, site.user) &&
                 doc.Set(kSiteSection, kSitePasswordKey, site.password) &&
                 doc.Set(kSiteSection, kSiteRemotePathKey, site.remotePath) &&
                 doc.Set(kSiteSection, kSitePortKey, kDefaultPortText);
    });
    return written && stored && !exists;
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
    auto rollBack = [&](ProfileResult why) {
        for (const NamedPath& p : out.created) {
            ::unlink(p.path.c_str());
            RemoveLockSidecar(p.path);
        }
        out.created.clear();
        out.skipped.clear();
        out.result = std::move(why);
    };
    for (std::size_t n = 0; n < records.size(); ++n) {
        const ImportedSite site = ParseSiteRecord(records[n]);
        if (site.host.empty() && site.user.empty() && site.password.empty() && site.remotePath.empty()) continue;
        const std::string name = base + std::to_string(n);
        if (!IsSafeName(name)) {
            rollBack(Fail(ProfileStatus::InvalidName, name));
            return out;
        }
        const std::string path = JoinPath(targetFolder, name + kProfileExtension);
        bool exists = false;
        if (WriteImportedProfile(path, site, exists)) {
            out.created.push_back({name, path});
        } else if (exists) {
            out.skipped.push_back(name);
        } else {
            const int err = errno;
            ::unlink(path.c_str());  // a half-made profile must not stay
            rollBack(FailErrno("Cannot write", path, err));
            return out;
        }
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
