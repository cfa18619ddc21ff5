#include "engine/CopyLoop.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdio>
#include <functional>
#include <vector>

#include "engine/ContentHash.h"
#include "engine/TransferPaths.h"
#include "engine/TransferProgress.h"
#include "engine/TransferSession.h"
#include "engine/TransferStats.h"
#include "ftp/SessionSettings.h"
#include "log/LogEntry.h"
#include "log/TransferLog.h"
#include "platform/TextUtil.h"
#include "platform/UiHost.h"
#include "platform/WorkerControl.h"
#include "settings/Keys.h"

namespace zyfar {

PassResult CopyPassLoop(std::size_t readSize, std::size_t writeSize, WorkerControl* control,
                        const std::atomic<bool>* abortFlag, const CopyReadFn& read, const CopyWriteFn& write,
                        const std::function<void(std::int64_t)>& onPass) {
    const std::size_t r = std::max<std::size_t>(1, readSize);
    const std::size_t w = std::max<std::size_t>(1, writeSize);
    std::vector<char> readBuffer(r + 1);
    std::vector<char> writeBuffer(w + 1);
    PassResult out;
    for (;;) {
        if (control != nullptr && !control->Checkpoint()) {
            out.end = PassEnd::Cancelled;
            return out;
        }
        std::size_t n = 0;
        bool sourceEnded = false;
        if (w < r) {
            // One read, written in WriteBuffer pieces.
            FtpOutcome<std::size_t> got = read(readBuffer.data(), r);
            if (!got.ok()) {
                out.end = PassEnd::Failed;
                out.failure = got.result;
                return out;
            }
            n = got.value;
            sourceEnded = n == 0;
            for (std::size_t off = 0; off < n; off += w) {
                FtpResult put = write(readBuffer.data() + off, std::min(w, n - off));
                if (!put.ok()) {
                    out.end = PassEnd::Failed;
                    out.failure = std::move(put);
                    return out;
                }
            }
        } else {
            // Up to WriteBuffer / ReadBuffer reads gathered into one write.
            // Each read lands where the write takes it from, so gathering
            // costs no extra copy.
            const std::size_t reads = w / r;
            for (std::size_t i = 0; i < reads; ++i) {
                FtpOutcome<std::size_t> got = read(writeBuffer.data() + n, r);
                if (!got.ok()) {
                    out.end = PassEnd::Failed;
                    out.failure = got.result;
                    return out;
                }
                if (got.value == 0) {
                    sourceEnded = true;
                    break;
                }
                n += got.value;
            }
            if (n > 0) {
                FtpResult put = write(writeBuffer.data(), n);
                if (!put.ok()) {
                    out.end = PassEnd::Failed;
                    out.failure = std::move(put);
                    return out;
                }
            }
        }
        if (n > 0) {
            out.moved += static_cast<std::int64_t>(n);
            out.passes += 1;
            if (onPass) {
                onPass(static_cast<std::int64_t>(n));
            }
        }
        if (abortFlag != nullptr && abortFlag->load(std::memory_order_relaxed)) {
            out.end = PassEnd::Aborted;
            return out;
        }
        if (sourceEnded) {
            out.end = PassEnd::EndOfSource;
            return out;
        }
    }
}

namespace {

using Clock = std::chrono::steady_clock;

CopyOutcome Fail(const FtpResult& r, std::int64_t moved = 0) {
    CopyOutcome out;
    out.result = r.code == 0 ? ftpcode::kInternalError : r.code;
    out.errorText = TruncateUtf8(r.text, kFtpErrorTextMax);
    out.bytesMoved = moved;
    return out;
}

CopyOutcome Cancelled(std::int64_t moved) {
    CopyOutcome out;
    out.result = ftpcode::kCancelled;
    out.errorText = CancelledResult().text;
    out.cancelled = true;
    out.bytesMoved = moved;
    return out;
}

CopyOutcome PutCanceled(std::int64_t moved) {
    CopyOutcome out;
    out.result = kJobCancelled;
    out.errorText = kPutCanceledText;
    out.bytesMoved = moved;
    return out;
}

bool IsCancelled(const CTransferSession& s) { return s.control() != nullptr && s.control()->IsCancelled(); }

void LoadBufferSizes(CTransferSession& s) {
    s.readBufferSize = std::clamp<std::int32_t>(ReadInt(keys::ReadBuffer), 1, kMaxCopyBuffer);
    s.writeBufferSize = std::clamp<std::int32_t>(ReadInt(keys::WriteBuffer), 1, kMaxCopyBuffer);
}

// Sets the tray state before each counted operation (only when it changes).
class Tray {
public:
    void Set(int state) {
        if (state != last_) {
            Ui().SetTrayState(state);
            last_ = state;
        }
    }

private:
    int last_ = -1;
};

enum class TimeCounter { Transfer, ServerToServer };

// Progress, time counter and bytes-got after each pass.
class PassMeter {
public:
    PassMeter(TransferProgress* progress, const CopyRequest& request, TimeCounter counter, bool countGot)
        : progress_(progress), batchStart_(request.batchStart), counter_(counter), countGot_(countGot) {
        start_ = Clock::now();
        last_ = start_;
        if (progress_ != nullptr) {
            progress_->BeginFile(request.size);
        }
    }
    ~PassMeter() {
        if (progress_ != nullptr) {
            progress_->EndFile();
        }
    }
    PassMeter(const PassMeter&) = delete;
    PassMeter& operator=(const PassMeter&) = delete;

    void Pass(std::int64_t n) {
        const Clock::time_point now = Clock::now();
        if (progress_ != nullptr) {
            std::optional<std::int64_t> batchElapsed;
            std::optional<std::int64_t> fileElapsed;
            if (passes_ % 5 == 0) {
                if (batchStart_) {
                    batchElapsed = WholeSeconds(now - *batchStart_);
                }
                fileElapsed = WholeSeconds(now - start_);
            }
            progress_->OnPass(n, batchElapsed, fileElapsed);
        }
        const std::int64_t nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(now - last_).count();
        last_ = now;
        if (counter_ == TimeCounter::Transfer) {
            stats::AddTransferTime(nanos);
        } else {
            stats::AddServerToServerTime(nanos);
        }
        if (countGot_) {
            stats::AddBytesGot(n);
        }
        ++passes_;
    }

private:
    static std::int64_t WholeSeconds(Clock::duration d) {
        const std::int64_t s = std::chrono::duration_cast<std::chrono::seconds>(d).count();
        return s < 1 ? 1 : s;
    }

    TransferProgress* progress_;
    std::optional<Clock::time_point> batchStart_;
    TimeCounter counter_;
    bool countGot_;
    Clock::time_point start_;
    Clock::time_point last_;
    std::uint64_t passes_ = 0;
};

// The pass loop shared by the three copies.
PassResult RunPasses(CTransferSession& s, const CopyReadFn& read, const CopyWriteFn& write, PassMeter& meter,
                     bool checkAbort) {
    return CopyPassLoop(static_cast<std::size_t>(s.readBufferSize), static_cast<std::size_t>(s.writeBufferSize),
                        s.control(), checkAbort ? &s.abortFlag : nullptr, read, write,
                        [&meter](std::int64_t n) { meter.Pass(n); });
}

// ---- counted operations ----

CopyReadFn LocalReader(BufferedLocalFile& file, Tray& tray) {
    return [&file, &tray](char* buffer, std::size_t n) -> FtpOutcome<std::size_t> {
        tray.Set(0);
        FtpOutcome<std::size_t> got = file.Read(buffer, n);
        if (got.ok()) {
            stats::AddLocalBytesRead(static_cast<std::int64_t>(got.value));
        }
        return got;
    };
}

CopyWriteFn LocalWriter(BufferedLocalFile& file, Tray& tray) {
    return [&file, &tray](const char* buffer, std::size_t n) -> FtpResult {
        tray.Set(0);
        FtpResult r = file.Write(buffer, n);
        if (r.ok()) {
            stats::AddLocalBytesWritten(static_cast<std::int64_t>(n));
        }
        return r;
    };
}

CopyReadFn ServerReader(FtpFileStream& stream, Tray& tray) {
    return [&stream, &tray](char* buffer, std::size_t n) -> FtpOutcome<std::size_t> {
        tray.Set(1);
        FtpOutcome<std::size_t> got = stream.Read(buffer, n);
        if (got.ok()) {
            stats::AddBytesReceived(static_cast<std::int64_t>(got.value));
        }
        return got;
    };
}

CopyWriteFn ServerWriter(FtpFileStream& stream, Tray& tray) {
    return [&stream, &tray](const char* buffer, std::size_t n) -> FtpResult {
        tray.Set(2);
        FtpResult r = stream.Write(buffer, n);
        if (r.ok()) {
            stats::AddBytesSent(static_cast<std::int64_t>(n));
        }
        return r;
    };
}

FtpTransferType TypeOf(int choice) { return choice == 1 ? FtpTransferType::kAscii : FtpTransferType::kBinary; }

// The copy's type: the one the request fixes, else ChooseTransferType's.
bool IsAscii(const CopyRequest& request, std::string_view name) {
    if (request.type) {
        return *request.type == FtpTransferType::kAscii;
    }
    return ChooseTransferType(name, request.typeFlag) == 1;
}

std::string SizeMismatchText(const char* what, std::int64_t moved, std::int64_t expected) {
    char text[200];
    std::snprintf(text, sizeof text, "%s: %lld bytes moved, %lld expected.", what, static_cast<long long>(moved),
                  static_cast<long long>(expected));
    return text;
}

// A binary get or server-to-server copy that did not move the whole file:
// the bytes differ from the server's SIZE answer, or, without one, are fewer
// than the listing gave. The failure's text, or nothing when the copy is whole
// as far as can be told.
std::optional<std::string> ShortCopy(bool ascii, const std::optional<std::int64_t>& sized,
                                     const CopyRequest& request, std::int64_t moved, const char* what) {
    if (ascii) {
        return std::nullopt;  // line ends change the count
    }
    if (sized) {
        if (moved != *sized) {
            return SizeMismatchText(what, moved, *sized);
        }
        return std::nullopt;
    }
    if (request.listedSize && moved < *request.listedSize) {
        return SizeMismatchText(what, moved, *request.listedSize);
    }
    return std::nullopt;
}

// DeleteGet: removes the source file on the source server and logs it.
void DeleteSourceAfterGet(CTransferSession& source, const std::string& path) {
    if (!EqualsNoCase(Read(keys::DeleteGet), "YES")) {
        return;
    }
    FtpResult r = source.connection().Remove(path);
    if (r.ok()) {
        WriteLogEntry(logcode::DeletionOk, "-", source.host(), path, "-");
    } else {
        std::string detail = InternetErrorMessage(r.code);
        WriteLogEntry(logcode::DeletionFailed, "-", source.host(), path, detail.empty() ? r.text : detail);
    }
}

// A failed step: a cancel, or "Only this one" (which shuts the connection
// down so that a blocked send or receive returns), or the failure itself.
CopyOutcome Interrupted(const CTransferSession& s, const FtpResult& r, std::int64_t moved) {
    if (IsCancelled(s)) {
        return Cancelled(moved);
    }
    if (s.abortFlag.load()) {
        return PutCanceled(moved);
    }
    return Fail(r, moved);
}

// A failed or cancelled copy: whatever is open is closed (a remote file aborted).
CopyOutcome EndFailed(CTransferSession& s, CTransferSession* other, const PassResult& passes) {
    s.ReleaseFiles();
    if (other != nullptr) {
        other->ReleaseFiles();
    }
    if (passes.end == PassEnd::Cancelled) {
        return Cancelled(passes.moved);
    }
    if (passes.end == PassEnd::Aborted) {
        return PutCanceled(passes.moved);
    }
    return Interrupted(s, passes.failure, passes.moved);
}


// ---- verification ----

// What a copy verifies its content with.
struct VerifyPlan {
    VerifyHashMode mode = VerifyHashMode::Auto;
    std::optional<HashChoice> choice;  // the hash to compute and ask for; none: not verified
    std::optional<FtpResult> refusal;  // "REQUIRE" and no way to verify: the copy fails at once
};

FtpResult NotVerified(const std::string& text) { return FtpFail(kJobNotVerified, text); }

VerifyPlan PlanVerification(CTransferSession& s, bool ascii) {
    VerifyPlan plan;
    plan.mode = ParseVerifyHash(Read(keys::VerifyHash));
    if (plan.mode == VerifyHashMode::No) {
        return plan;
    }
    if (ascii) {
        if (plan.mode == VerifyHashMode::Require) {
            plan.refusal = NotVerified(
                "The file cannot be verified: a text (ASCII) transfer changes its line ends, and VerifyHash is "
                "\"REQUIRE\".");
        }
        return plan;
    }
    plan.choice = s.connection().OfferedHash();
    if (!plan.choice && plan.mode == VerifyHashMode::Require && s.connection().IsConnected()) {
        plan.refusal = NotVerified("The server " + s.host() +
                                   " offers no hash command (HASH, XSHA256, XSHA1 or XMD5) to verify the file "
                                   "with, and VerifyHash is \"REQUIRE\".");
    }
    return plan;
}

struct HashCheck {
    FtpResult result;    // FtpOk: verified, or not verifiable and "AUTO" lets that pass
    std::string label;   // "SHA-256 <hex>" when verified
};

// Compares the copy's hash with the server's hash of `path`.
HashCheck CheckHash(CTransferSession& s, const std::string& path, const VerifyPlan& plan,
                    const std::string& localHex) {
    HashCheck out;
    const HashChoice& choice = *plan.choice;
    const char* name = HashAlgorithmName(choice.algorithm);
    const RemoteHashResult remote = s.connection().RemoteHash(path, choice);
    switch (remote.status) {
        case RemoteHashResult::Status::kHash:
            if (localHex.empty()) {
                out.result = NotVerified(std::string("The file's ") + name + " could not be computed here.");
            } else if (remote.hex != localHex) {
                out.result = NotVerified(std::string("The file's ") + name + " differs from the server's: " +
                                         localHex + " here, " + remote.hex + " on " + s.host() + ".");
            } else {
                out.label = HashLabel(choice.algorithm, localHex);
            }
            return out;
        case RemoteHashResult::Status::kRefused:
            if (plan.mode == VerifyHashMode::Require) {
                out.result = NotVerified("The server would not give the file's " + std::string(name) +
                                         " (VerifyHash is \"REQUIRE\"): " + remote.failure.text);
            }
            return out;
        case RemoteHashResult::Status::kUnreadable:
            out.result = NotVerified(remote.failure.text);
            return out;
        case RemoteHashResult::Status::kFailed:
            break;
    }
    out.result = remote.failure.ok() ? FtpFail(ftpcode::kConnectionAborted, "The file's hash could not be asked for.")
                                     : remote.failure;
    return out;
}

// A reader that also hashes what it reads (no hasher: the reader itself).
CopyReadFn Hashing(CopyReadFn read, ContentHasher* hasher) {
    if (hasher == nullptr) {
        return read;
    }
    return [read = std::move(read), hasher](char* buffer, std::size_t n) -> FtpOutcome<std::size_t> {
        FtpOutcome<std::size_t> got = read(buffer, n);
        if (got.ok()) {
            hasher->Update(buffer, got.value);
        }
        return got;
    };
}

std::unique_ptr<ContentHasher> HasherFor(const VerifyPlan& plan) {
    return plan.choice ? std::make_unique<ContentHasher>(plan.choice->algorithm) : nullptr;
}

// ---- resuming ----

// Hashes the first `n` bytes of a source before the rest is copied: a put's
// local file from its start (its only read in this attempt).
FtpResult HashLocalPrefix(BufferedLocalFile& file, std::int64_t n, ContentHasher& hasher) {
    std::vector<char> buffer(BufferedLocalFile::kBufferSize);
    while (n > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(n, static_cast<std::int64_t>(buffer.size())));
        FtpOutcome<std::size_t> got = file.Read(buffer.data(), want);
        if (!got.ok()) {
            return got.result;
        }
        if (got.value == 0) {
            return FtpFail(filecause::kGeneric, "The file " + file.path() + " is shorter than when it was opened.");
        }
        stats::AddLocalBytesRead(static_cast<std::int64_t>(got.value));
        hasher.Update(buffer.data(), got.value);
        n -= static_cast<std::int64_t>(got.value);
    }
    return FtpOk();
}

// The same for a get's partial file: the bytes an earlier attempt wrote.
FtpResult HashPartialPrefix(BufferedLocalFile& file, std::int64_t n, ContentHasher& hasher) {
    std::vector<char> buffer(BufferedLocalFile::kBufferSize);
    for (std::int64_t at = 0; at < n;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(n - at, static_cast<std::int64_t>(buffer.size())));
        FtpOutcome<std::size_t> got = file.ReadBack(at, buffer.data(), want);
        if (!got.ok()) {
            return got.result;
        }
        if (got.value == 0) {
            return FtpFail(filecause::kGeneric, "The partial file of " + file.path() + " is shorter than expected.");
        }
        hasher.Update(buffer.data(), got.value);
        at += static_cast<std::int64_t>(got.value);
    }
    return FtpOk();
}

// A put's start: the server's partial file, when the source is as it was when
// that file was written: its size (SIZE), which must be above 0 and at most
// the bytes that attempt sent. 0: from the start.
std::int64_t PutResumeOffset(CTransferSession& s, const CopyRequest& request, const BufferedLocalFile& local) {
    const ResumePoint& from = request.resumeFrom;
    if (!from.Usable() || from.sourceSize != local.SizeAtOpen() || from.sourceTime != local.TimeAtOpen()) {
        return 0;
    }
    FtpOutcome<std::int64_t> held = s.connection().Size(request.targetPath);
    if (!held.ok() || held.value <= 0 || held.value > from.offset || held.value > local.SizeAtOpen()) {
        return 0;
    }
    return held.value;
}

// A get's partial file: how a copy uses it.
struct GetResumePlan {
    bool partial = false;       // the bytes go to "<target>.zyfar-part" (kept on failure)
    std::string sourceTime;     // the server's MDTM of the source
    std::int64_t resumeAt = 0;  // the earlier attempt's bytes, when they may be continued
};

GetResumePlan PlanGetResume(CTransferSession& s, const CopyRequest& request, bool ascii,
                            const std::optional<std::int64_t>& expected) {
    GetResumePlan plan;
    const ResumePoint& from = request.resumeFrom;
    if (ascii || !ResumeEnabled() || !expected || (!request.keepPartial && from.offset <= 0)) {
        return plan;
    }
    FtpOutcome<RemoteTime> time = s.connection().ModificationTime(request.sourcePath);
    if (!time.ok() || !time.value.valid) {
        return plan;  // without the source's time a later attempt could not tell it unchanged
    }
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", time.value.year, time.value.month, time.value.day,
                  time.value.hour, time.value.minute, time.value.second);
    plan.partial = true;
    plan.sourceTime = stamp;
    if (from.Usable() && from.sourceSize == *expected && from.sourceTime == plan.sourceTime &&
        from.offset <= *expected) {
        plan.resumeAt = from.offset;
    }
    return plan;
}

// A get's partial file after a failed copy: what it holds now.
ResumePoint KeptPartial(const std::string& target, std::int64_t sourceSize, const std::string& sourceTime) {
    struct stat st {};
    const std::string partial = BufferedLocalFile::PartialPathFor(target);
    if (::lstat(partial.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        return {};
    }
    return ResumePoint{static_cast<std::int64_t>(st.st_size), sourceSize, sourceTime};
}

// A failed copy with where a later attempt may continue.
CopyOutcome Stopped(CopyOutcome out, ResumePoint resume) {
    out.resume = std::move(resume);
    return out;
}

}  // namespace

CopyOutcome PutCopyLoop(CTransferSession& s, const CopyRequest& request) {
    LoadBufferSizes(s);
    const bool ascii = IsAscii(request, LocalBaseName(request.sourcePath));
    const VerifyPlan verify = PlanVerification(s, ascii);
    if (verify.refusal) {
        return Fail(*verify.refusal);
    }
    // Until the transfer starts the server's file is as the earlier attempt left it.
    const ResumePoint earlier = request.resumeFrom;
    FtpOutcome<std::unique_ptr<BufferedLocalFile>> local = BufferedLocalFile::OpenRead(request.sourcePath);
    if (!local.ok()) {
        return Stopped(Fail(local.result), earlier);
    }
    s.localFile = std::move(local.value);
    const std::int64_t sizeAtOpen = s.localFile->SizeAtOpen();
    const std::string timeAtOpen = s.localFile->TimeAtOpen();
    if (s.abortFlag.load()) {
        s.ReleaseFiles();
        return Stopped(PutCanceled(0), earlier);
    }
    const bool resumable = !ascii && ResumeEnabled();
    const std::int64_t resumeAt = resumable ? PutResumeOffset(s, request, *s.localFile) : 0;
    if (request.continueOnly && resumeAt == 0) {
        // The file there is not (or no longer) this file's start: it is not replaced.
        s.ReleaseFiles();
        return IsCancelled(s) ? Stopped(Cancelled(0), earlier)
                              : Stopped(Fail(FtpFail(kJobTargetExists, kCantOverwriteText)), earlier);
    }
    FtpOutcome<FtpOpenedFile> remote =
        s.connection().OpenFileAt(request.targetPath, FtpOpenMode::kWrite, TypeOf(ascii ? 1 : 2), resumeAt,
                                  request.continueOnly ? FtpOffsetRule::kOnlyAtOffset : FtpOffsetRule::kOrFromStart);
    if (!remote.ok()) {
        s.ReleaseFiles();
        return Stopped(Interrupted(s, remote.result, 0), earlier);
    }
    s.remoteFile = std::move(remote.value.stream);
    const std::int64_t offset = remote.value.offset;
    // The server holds `offset` bytes plus what this copy hands it.
    const auto stopped = [&](CopyOutcome out) {
        const std::int64_t sent = offset + out.bytesMoved;
        return Stopped(std::move(out), resumable && sent > 0 ? ResumePoint{sent, sizeAtOpen, timeAtOpen} : ResumePoint{});
    };
    if (s.abortFlag.load()) {
        s.ReleaseFiles();
        return stopped(PutCanceled(0));
    }
    const std::unique_ptr<ContentHasher> hasher = HasherFor(verify);
    if (offset > 0) {
        FtpResult skipped = hasher ? HashLocalPrefix(*s.localFile, offset, *hasher) : s.localFile->SeekTo(offset);
        if (!skipped.ok()) {
            s.ReleaseFiles();
            return stopped(Interrupted(s, skipped, 0));
        }
    }

    Tray tray;
    PassResult passes;
    {
        PassMeter meter(s.progress, request, TimeCounter::Transfer, false);
        if (offset > 0 && s.progress != nullptr) {
            s.progress->ResumeFile(offset);
        }
        passes = RunPasses(s, Hashing(LocalReader(*s.localFile, tray), hasher.get()),
                           ServerWriter(*s.remoteFile, tray), meter, true);
    }
    if (passes.end != PassEnd::EndOfSource) {
        return stopped(EndFailed(s, nullptr, passes));
    }
    tray.Set(2);
    FtpResult closed = s.remoteFile->Close();
    s.ReleaseFiles();
    if (!closed.ok()) {
        return stopped(Interrupted(s, closed, passes.moved));
    }
    const std::int64_t total = offset + passes.moved;
    if (!ascii && total != sizeAtOpen) {
        // The source changed: the server's bytes are no start for a later attempt.
        return Fail(FtpFail(filecause::kGeneric,
                            SizeMismatchText("The local file changed while it was sent", total, sizeAtOpen)),
                    passes.moved);
    }
    CopyOutcome ok;
    if (hasher) {
        const HashCheck check = CheckHash(s, request.targetPath, verify, hasher->FinalHex());
        if (!check.result.ok()) {
            CopyOutcome failed = Interrupted(s, check.result, passes.moved);
            // A file that differs is sent again from the start.
            return check.result.code == kJobNotVerified ? failed : stopped(std::move(failed));
        }
        ok.verified = check.label;
    }
    stats::AddFileTransferred();
    if (request.mode == TransferMode::Put && EqualsNoCase(Read(keys::DeletePut), "YES")) {
        (void)::unlink(request.sourcePath.c_str());
    }
    ok.bytesMoved = passes.moved;
    ok.resumedFrom = offset;
    return ok;
}

namespace {

// A get's local file: the partial file of the plan (whose offset() says what it
// kept), or, without one, a new file beside the target removed on failure.
FtpOutcome<std::unique_ptr<BufferedLocalFile>> OpenGetTarget(const CopyRequest& request, GetResumePlan& plan) {
    if (plan.partial) {
        FtpOutcome<std::unique_ptr<BufferedLocalFile>> partial =
            BufferedLocalFile::OpenPartial(request.targetPath, plan.resumeAt);
        if (partial.ok()) {
            return partial;
        }
        plan.partial = false;  // in use or not makeable: this attempt keeps nothing
    }
    return BufferedLocalFile::CreateFor(request.targetPath);
}

}  // namespace

CopyOutcome GetCopyLoop(CTransferSession& s, const CopyRequest& request) {
    LoadBufferSizes(s);
    const bool ascii = IsAscii(request, LocalBaseName(request.targetPath));
    // Until the copy opens its local file an earlier attempt's partial file is as it was.
    const auto early = [&request](CopyOutcome out) { return Stopped(std::move(out), request.resumeFrom); };
    const VerifyPlan verify = PlanVerification(s, ascii);
    if (verify.refusal) {
        return early(Fail(*verify.refusal));
    }
    // A folder at the target is never replaced; without overwrite nothing is.
    struct stat st {};
    if (::lstat(request.targetPath.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return early(Fail(LocalFileFailure("Cannot replace", request.targetPath, EISDIR)));
        }
        if (!request.overwrite) {
            return early(Fail(FtpFail(kJobTargetExists, kCantOverwriteText)));
        }
    }
    std::optional<std::int64_t> expected;
    if (!ascii) {
        FtpOutcome<std::int64_t> size = s.connection().Size(request.sourcePath);
        if (size.ok() && size.value >= 0) {
            expected = size.value;
        } else if (IsCancelled(s)) {
            return early(Cancelled(0));
        }
    }
    GetResumePlan plan = PlanGetResume(s, request, ascii, expected);
    if (IsCancelled(s)) {
        return early(Cancelled(0));
    }
    if (!plan.partial && request.resumeFrom.offset > 0) {
        // An earlier attempt's partial file that this copy will not continue.
        const std::string stale = BufferedLocalFile::PartialPathFor(request.targetPath);
        if (::lstat(stale.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            (void)::unlink(stale.c_str());
        }
    }
    // The bytes go to a file beside the target, which takes the target's
    // place only when the copy is verified: a failed or cancelled get leaves
    // an existing target as it was, and beside it at most its partial file.
    FtpOutcome<std::unique_ptr<BufferedLocalFile>> local = OpenGetTarget(request, plan);
    if (!local.ok()) {
        return plan.partial ? early(Fail(local.result)) : Fail(local.result);
    }
    s.localFile = std::move(local.value);
    const std::int64_t kept = plan.partial ? s.localFile->offset() : 0;
    // What the partial file holds after a failure, for a later attempt.
    const auto stopped = [&](CopyOutcome out) {
        return Stopped(std::move(out), plan.partial ? KeptPartial(request.targetPath, *expected, plan.sourceTime)
                                                    : ResumePoint{});
    };
    FtpOutcome<FtpOpenedFile> remote =
        s.connection().OpenFileAt(request.sourcePath, FtpOpenMode::kRead, TypeOf(ascii ? 1 : 2), kept);
    if (!remote.ok()) {
        s.ReleaseFiles();
        return stopped(Interrupted(s, remote.result, 0));
    }
    s.remoteFile = std::move(remote.value.stream);
    const std::int64_t offset = remote.value.offset;
    const std::unique_ptr<ContentHasher> hasher = HasherFor(verify);
    if (kept > 0) {
        FtpResult ready = offset == kept ? (hasher ? HashPartialPrefix(*s.localFile, offset, *hasher) : FtpOk())
                                         : s.localFile->StartOver();  // the server sends the whole file
        if (!ready.ok()) {
            s.ReleaseFiles();
            return stopped(Interrupted(s, ready, 0));
        }
    }

    Tray tray;
    PassResult passes;
    {
        PassMeter meter(s.progress, request, TimeCounter::Transfer, true);
        if (offset > 0 && s.progress != nullptr) {
            s.progress->ResumeFile(offset);
        }
        passes = RunPasses(s, Hashing(ServerReader(*s.remoteFile, tray), hasher.get()),
                           LocalWriter(*s.localFile, tray), meter, false);
    }
    if (passes.end != PassEnd::EndOfSource) {
        return stopped(EndFailed(s, nullptr, passes));
    }
    FtpResult closed = s.remoteFile->Close();  // the final reply was read at the end of the data
    if (!closed.ok()) {
        s.ReleaseFiles();
        return stopped(Interrupted(s, closed, passes.moved));
    }
    const std::int64_t total = offset + passes.moved;
    if (const std::optional<std::string> shortText = ShortCopy(ascii, expected, request, total,
                                                                 "The server ended the file early")) {
        if (expected && total > *expected) {
            s.localFile->Discard();  // more than the file: those bytes are no start for a later attempt
        }
        s.ReleaseFiles();
        return stopped(Fail(FtpFail(ftpcode::kConnectionAborted, *shortText), passes.moved));
    }
    CopyOutcome ok;
    if (hasher) {
        const HashCheck check = CheckHash(s, request.sourcePath, verify, hasher->FinalHex());
        if (!check.result.ok()) {
            if (check.result.code == kJobNotVerified) {
                s.localFile->Discard();  // bytes that differ are neither placed nor continued
            }
            s.ReleaseFiles();
            return stopped(Interrupted(s, check.result, passes.moved));
        }
        ok.verified = check.label;
    }
    tray.Set(0);
    FtpResult placed = s.localFile->Place(request.overwrite);
    s.ReleaseFiles();
    if (!placed.ok()) {
        return stopped(Fail(placed, passes.moved));
    }
    stats::AddFileTransferred();
    DeleteSourceAfterGet(s, request.sourcePath);
    ok.bytesMoved = passes.moved;
    ok.resumedFrom = offset;
    return ok;
}

CopyOutcome ServerToServerCopyLoop(CTransferSession& source, CTransferSession& destination,
                                   const CopyRequest& request) {
    LoadBufferSizes(source);
    const bool ascii = IsAscii(request, SplitRemotePath(request.sourcePath).name);
    const FtpTransferType type = TypeOf(ascii ? 1 : 2);
    const VerifyPlan verifySource = PlanVerification(source, ascii);
    const VerifyPlan verifyTarget = PlanVerification(destination, ascii);
    if (verifyTarget.refusal || verifySource.refusal) {
        return Fail(verifyTarget.refusal ? *verifyTarget.refusal : *verifySource.refusal);
    }
    std::optional<std::int64_t> expected;
    if (!ascii) {
        FtpOutcome<std::int64_t> size = source.connection().Size(request.sourcePath);
        if (size.ok() && size.value >= 0) {
            expected = size.value;
        } else if (IsCancelled(source)) {
            return Cancelled(0);
        }
    }
    FtpOutcome<std::unique_ptr<FtpFileStream>> in =
        source.connection().OpenFile(request.sourcePath, FtpOpenMode::kRead, type);
    if (!in.ok()) {
        return IsCancelled(source) ? Cancelled(0) : Fail(in.result);
    }
    source.remoteFile = std::move(in.value);
    FtpOutcome<std::unique_ptr<FtpFileStream>> out =
        destination.connection().OpenFile(request.targetPath, FtpOpenMode::kWrite, type);
    if (!out.ok()) {
        source.ReleaseFiles();
        return IsCancelled(source) ? Cancelled(0) : Fail(out.result);
    }
    destination.remoteFile = std::move(out.value);

    Tray tray;
    PassResult passes;
    // One hash of the bytes as they pass serves both servers when they use one algorithm.
    const std::unique_ptr<ContentHasher> targetHasher = HasherFor(verifyTarget);
    std::unique_ptr<ContentHasher> sourceHasher;
    if (verifySource.choice && (!verifyTarget.choice || verifyTarget.choice->algorithm != verifySource.choice->algorithm)) {
        sourceHasher = HasherFor(verifySource);
    }
    {
        PassMeter meter(source.progress, request, TimeCounter::ServerToServer, false);
        passes = RunPasses(source,
                           Hashing(Hashing(ServerReader(*source.remoteFile, tray), targetHasher.get()),
                                   sourceHasher.get()),
                           ServerWriter(*destination.remoteFile, tray), meter, false);
    }
    if (passes.end != PassEnd::EndOfSource) {
        return EndFailed(source, &destination, passes);
    }
    FtpResult written = destination.remoteFile->Close();
    FtpResult read = source.remoteFile->Close();
    source.ReleaseFiles();
    destination.ReleaseFiles();
    if (!written.ok() || !read.ok()) {
        if (IsCancelled(source)) {
            return Cancelled(passes.moved);
        }
        return Fail(!written.ok() ? written : read, passes.moved);
    }
    if (const std::optional<std::string> shortText = ShortCopy(ascii, expected, request, passes.moved,
                                                                 "The source server ended the file early")) {
        return Fail(FtpFail(ftpcode::kConnectionAborted, *shortText), passes.moved);
    }
    CopyOutcome ok;
    std::string targetHex;
    if (targetHasher) {
        targetHex = targetHasher->FinalHex();
        const HashCheck check = CheckHash(destination, request.targetPath, verifyTarget, targetHex);
        if (!check.result.ok()) {
            return IsCancelled(source) ? Cancelled(passes.moved) : Fail(check.result, passes.moved);
        }
        ok.verified = check.label;
    }
    if (verifySource.choice) {
        const std::string sourceHex = sourceHasher ? sourceHasher->FinalHex() : targetHex;
        const HashCheck check = CheckHash(source, request.sourcePath, verifySource, sourceHex);
        if (!check.result.ok()) {
            return IsCancelled(source) ? Cancelled(passes.moved) : Fail(check.result, passes.moved);
        }
        if (ok.verified.empty()) ok.verified = check.label;
    }
    stats::AddFileTransferred();
    DeleteSourceAfterGet(source, request.sourcePath);
    ok.bytesMoved = passes.moved;
    return ok;
}

}  // namespace zyfar
