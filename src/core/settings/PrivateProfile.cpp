// The private-profile file functions: cached reads, locked atomic writes.
#include "platform/Paths.h"
#include "settings/IniFile.h"
#include "settings/IniText.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace zyfar {
namespace {

// ---------------------------------------------------------------------------
// Paths

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return path;
    return JoinPath(cwd, path);
}

std::string DirName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RealPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return {};
    std::string out(resolved);
    std::free(resolved);
    return out;
}

// The one name of a file, whatever way it was spelled: symbolic links and
// "." / ".." resolved. A file that does not exist yet is named through its
// folder's real path.
std::string CanonicalPath(const std::string& resolved) {
    const std::string absolute = AbsolutePath(resolved);
    if (std::string real = RealPath(absolute); !real.empty()) return real;
    if (std::string dir = RealPath(DirName(absolute)); !dir.empty()) return JoinPath(dir, BaseName(absolute));
    return absolute;
}

// ---------------------------------------------------------------------------
// File identity: a cached parse is reused only while all of these match.

struct FileStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    std::int64_t mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const struct stat& st) {
    FileStamp s;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtimeSec = st.st_mtim.tv_sec;
    s.mtimeNsec = st.st_mtim.tv_nsec;
    s.ctimeSec = st.st_ctim.tv_sec;
    s.ctimeNsec = st.st_ctim.tv_nsec;
    return s;
}

// ---------------------------------------------------------------------------
// Per-file state: the write lock of a canonical path, and the cached parse
// of a spelled path.

struct PathLock {
    std::mutex mutex;                       // serialises writers inside this process
    std::atomic<std::uint64_t> generation{0};  // bumped by every write of this process
};

PathLock& LockFor(const std::string& canonical) {
    static std::mutex mapMutex;
    static std::map<std::string, std::unique_ptr<PathLock>> locks;  // never shrinks: addresses stay valid
    std::lock_guard guard(mapMutex);
    auto& slot = locks[canonical];
    if (!slot) slot = std::make_unique<PathLock>();
    return *slot;
}

struct CacheEntry {
    std::mutex mutex;
    bool valid = false;
    FileStamp stamp;
    std::uint64_t generation = 0;
    PathLock* lock = nullptr;
    std::shared_ptr<const IniDocument> doc;
};

constexpr std::size_t kMaxCachedFiles = 256;

std::shared_ptr<CacheEntry> CacheEntryFor(const std::string& resolved) {
    static std::mutex mapMutex;
    static std::map<std::string, std::shared_ptr<CacheEntry>> entries;
    std::lock_guard guard(mapMutex);
    auto it = entries.find(resolved);
    if (it != entries.end()) return it->second;
    if (entries.size() >= kMaxCachedFiles) entries.clear();  // holders keep theirs alive
    auto entry = std::make_shared<CacheEntry>();
    entries.emplace(resolved, entry);
    return entry;
}

const std::shared_ptr<const IniDocument>& EmptyDocument() {
    static const auto empty = std::make_shared<const IniDocument>();
    return empty;
}

// ---------------------------------------------------------------------------
// Raw file I/O

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    [[nodiscard]] int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

enum class ReadResult { Ok, Missing, Failed };

// Opens without blocking (a FIFO in place of the file must not hang us) and
// accepts regular files only.
ReadResult ReadWholeFile(const std::string& path, std::string& out, FileStamp* stamp, mode_t* mode) {
    out.clear();
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return ReadResult::Failed;
    if (stamp) *stamp = StampOf(st);
    if (mode) *mode = st.st_mode & 07777;
    // Read straight into the string; the file may grow or shrink meanwhile.
    std::size_t have = 0;
    out.resize(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 1);
    for (;;) {
        if (have == out.size()) out.resize(out.size() * 2 + 4096);
        const ssize_t n = ::read(fd.get(), out.data() + have, out.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            return ReadResult::Failed;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    out.resize(have);
    return ReadResult::Ok;
}

bool WriteAll(int fd, const std::vector<std::string_view>& pieces) {
    std::size_t next = 0;  // first piece not yet fully written
    std::size_t offset = 0;  // bytes of that piece already written
    while (next < pieces.size()) {
        iovec iov[64];
        int count = 0;
        for (std::size_t i = next; i < pieces.size() && count < 64; ++i) {
            const std::size_t skip = i == next ? offset : 0;
            iov[count].iov_base = const_cast<char*>(pieces[i].data() + skip);
            iov[count].iov_len = pieces[i].size() - skip;
            ++count;
        }
        ssize_t n = ::writev(fd, iov, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        auto left = static_cast<std::size_t>(n);
        while (next < pieces.size() && left >= pieces[next].size() - offset) {
            left -= pieces[next].size() - offset;
            offset = 0;
            ++next;
        }
        offset += left;
    }
    return true;
}

// Temporary file in the target's folder, written, flushed to disk (fsync)
// and renamed over the target: readers and a crash see the old file or the
// new one, never a part of either. (The folder itself is not synced: that
// would double the cost of every write, and losing the newest rename in a
// crash still leaves a complete older file.)
bool AtomicReplace(const std::string& target, const std::vector<std::string_view>& pieces, mode_t mode) {
    const std::string dir = DirName(target);
    std::string name(".");
    name.append(BaseName(target)).append(".tmpXXXXXX");
    std::string tmp = JoinPath(dir, name);
    Fd fd(::mkostemp(tmp.data(), O_CLOEXEC));
    if (fd.get() < 0) return false;
    bool ok = ::fchmod(fd.get(), mode) == 0 && WriteAll(fd.get(), pieces) && ::fsync(fd.get()) == 0;
    ok = (::close(fd.release()) == 0) && ok;
    if (ok) ok = ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

// Holds an exclusive flock on "<file>.lock" for its lifetime.
class FileLock {
public:
    explicit FileLock(const std::string& canonical)
        : fd_(::open((canonical + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
        if (fd_.get() < 0) return;
        int rc;
        do {
            rc = ::flock(fd_.get(), LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        locked_ = rc == 0;
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() {
        if (locked_) ::flock(fd_.get(), LOCK_UN);
    }
    [[nodiscard]] bool locked() const { return locked_; }

private:
    Fd fd_;
    bool locked_ = false;
};

// ---------------------------------------------------------------------------
// Cached read

std::shared_ptr<const IniDocument> LoadCached(const std::string& file) {
    const std::string resolved = ResolvePrivateFile(file);
    struct stat st {};
    if (resolved.empty() || ::stat(resolved.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return EmptyDocument();
    const FileStamp now = StampOf(st);

    auto entry = CacheEntryFor(resolved);
    std::lock_guard guard(entry->mutex);
    if (entry->valid && entry->stamp == now && entry->generation == entry->lock->generation.load())
        return entry->doc;

    PathLock* lock = &LockFor(CanonicalPath(resolved));
    const std::uint64_t generation = lock->generation.load();
    std::string text;
    FileStamp stamp;
    if (ReadWholeFile(resolved, text, &stamp, nullptr) != ReadResult::Ok) {
        entry->valid = false;
        entry->doc.reset();
        return EmptyDocument();
    }
    entry->doc = std::make_shared<const IniDocument>(IniDocument::FromText(std::move(text)));
    entry->stamp = stamp;
    entry->generation = generation;
    entry->lock = lock;
    entry->valid = true;
    return entry->doc;
}

// ---------------------------------------------------------------------------
// Locked read-modify-write. fn returns false to refuse the change (nothing
// is written and Modify returns false).

bool Modify(const std::string& file, const std::function<bool(IniDocument&)>& fn) {
    const std::string resolved = ResolvePrivateFile(file);
    if (resolved.empty()) return false;
    const std::string canonical = CanonicalPath(resolved);
    if (!MakeFolders(DirName(canonical))) return false;

    PathLock& lock = LockFor(canonical);
    std::lock_guard guard(lock.mutex);
    FileLock fileLock(canonical);
    if (!fileLock.locked()) return false;

    // Always the file as it is now, never the cache.
    std::string text;
    mode_t mode = 0600;
    switch (ReadWholeFile(canonical, text, nullptr, &mode)) {
        case ReadResult::Ok: break;
        case ReadResult::Missing: mode = 0600; break;
        case ReadResult::Failed: return false;
    }
    auto doc = std::make_shared<IniDocument>(IniDocument::FromText(std::move(text)));
    const std::size_t before = doc->ChangeCount();
    if (!fn(*doc)) return false;
    if (doc->ChangeCount() == before) return true;

    if (!AtomicReplace(canonical, doc->Pieces(), mode)) return false;
    lock.generation.fetch_add(1);

    // Hand the new parse to readers of this spelling of the path.
    struct stat st {};
    if (::stat(resolved.c_str(), &st) == 0) {
        auto entry = CacheEntryFor(resolved);
        std::lock_guard entryGuard(entry->mutex);
        entry->doc = std::move(doc);
        entry->stamp = StampOf(st);
        entry->lock = &lock;
        entry->generation = lock.generation.load();
        entry->valid = true;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Public functions

std::string GetPrivateProfileString(const std::string& section, const std::string& key, const std::string& def,
                                    const std::string& file) {
    auto doc = LoadCached(file);
    if (auto v = doc->Get(section, key)) return *v;
    return def;
}

int GetPrivateProfileInt(const std::string& section, const std::string& key, int def, const std::string& file) {
    auto doc = LoadCached(file);
    if (auto v = doc->Get(section, key)) return ParseLeadingInt(*v);
    return def;
}

std::optional<std::string> FindPrivateProfileString(const std::string& section, const std::string& key,
                                                    const std::string& file) {
    return LoadCached(file)->Get(section, key);
}

bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& file) {
    if (!ini_text::ValidSectionName(section) || !ini_text::ValidKeyName(key) || !ini_text::ValidValue(value))
        return false;
    return Modify(file, [&](IniDocument& doc) { return doc.Set(section, key, value); });
}

std::vector<std::pair<std::string, std::string>> GetPrivateProfileSection(const std::string& section,
                                                                          const std::string& file) {
    return LoadCached(file)->GetSection(section);
}

bool WritePrivateProfileSection(const std::string& section,
                                const std::vector<std::pair<std::string, std::string>>& entries,
                                const std::string& file) {
    if (!ini_text::ValidSectionName(section)) return false;
    for (const auto& [k, v] : entries)
        if (!ini_text::ValidKeyName(k) || !ini_text::ValidValue(v)) return false;
    return Modify(file, [&](IniDocument& doc) { return doc.ReplaceSection(section, entries); });
}

bool RemovePrivateProfileKey(const std::string& section, const std::string& key, const std::string& file) {
    bool removed = false;
    const bool written = Modify(file, [&](IniDocument& doc) {
        removed = doc.RemoveKey(section, key);
        return true;
    });
    return written && removed;
}

bool RemovePrivateProfileSection(const std::string& section, const std::string& file) {
    bool removed = false;
    const bool written = Modify(file, [&](IniDocument& doc) {
        removed = doc.RemoveSection(section);
        return true;
    });
    return written && removed;
}

bool UpdatePrivateProfile(const std::string& file, const std::function<void(IniDocument&)>& fn) {
    return Modify(file, [&](IniDocument& doc) {
        fn(doc);
        return true;
    });
}

IniDocument ReadPrivateProfile(const std::string& file) { return *LoadCached(file); }

}  // namespace zyfar
