#include "ftp/FtpDataStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zyfar {

namespace {
// Replies read while draining an abort, at most (ABOR and NOOP give two or
// three; a server that keeps talking is not followed forever).
constexpr int kMaxDrainReplies = 16;
}  // namespace

// ---- ASCII conversion ---------------------------------------------------------------

void AsciiDecoder::Decode(const char* in, std::size_t n, std::string& out) {
    for (std::size_t i = 0; i < n; ++i) {
        const char c = in[i];
        if (pendingCr_) {
            pendingCr_ = false;
            if (c == '\n') {
                out += '\n';
                continue;
            }
            out += '\r';  // a lone CR stays
        }
        if (c == '\r') {
            pendingCr_ = true;
        } else {
            out += c;
        }
    }
}

void AsciiDecoder::Finish(std::string& out) {
    if (pendingCr_) {
        out += '\r';
        pendingCr_ = false;
    }
}

void AsciiEncoder::Encode(const char* in, std::size_t n, std::string& out) {
    for (std::size_t i = 0; i < n; ++i) {
        const char c = in[i];
        if (c == '\n' && last_ != '\r') {
            out += '\r';
        }
        out += c;
        last_ = c;
    }
}

// ---- FtpFileStream --------------------------------------------------------------------

FtpFileStream::FtpFileStream(FtpControl& control, std::unique_ptr<ByteStream> data, Direction direction,
                             bool ascii, DataTimeouts timeouts, std::function<void()> onFinished)
    : control_(control),
      data_(std::move(data)),
      direction_(direction),
      ascii_(ascii),
      timeouts_(timeouts),
      onFinished_(std::move(onFinished)) {
    if (direction_ == Direction::kRead) {
        raw_.resize(kBufferSize);
    }
    buffer_.reserve(kBufferSize + 1);
    if (data_) {
        data_->SetCancellable(true);  // a cancel must end a stalled transfer at once
    }
}

FtpFileStream::~FtpFileStream() {
    if (!finished_) {
        (void)Abort();
    }
}

void FtpFileStream::Finish() {
    finished_ = true;
    if (data_) {
        data_->CloseNow();
    }
    if (onFinished_) {
        std::function<void()> done = std::move(onFinished_);
        onFinished_ = nullptr;
        done();
    }
}

FtpResult FtpFileStream::ReadFinalReply() {
    for (;;) {
        FtpOutcome<FtpReply> r = control_.ReadReply();
        if (!r.ok()) {
            finalResult_ = r.result;
            break;
        }
        const ReplyKind kind = ClassifyReply(r.value.code);
        if (kind == ReplyKind::kPreliminary) {
            continue;
        }
        finalResult_ = kind == ReplyKind::kCompletion ? FtpOk() : ReplyFailure(r.value);
        break;
    }
    finalRead_ = true;
    Finish();
    return finalResult_;
}

FtpResult FtpFileStream::Abort() {
    if (finished_) {
        return FtpOk();
    }
    if (data_) {
        data_->CloseNow();  // the server's transfer fails at once, whatever it does with ABOR
    }
    FtpResult result = FtpOk();
    if (!finalRead_ && control_.usable()) {
        // ABOR, then NOOP as a marker: every reply up to the NOOP's 200
        // belongs to the abandoned transfer or to ABOR, however many the
        // server sends. These waits ignore the cancel flag (a cancel is what
        // brings us here) and are bounded by the control time-outs.
        result = control_.Send("ABOR", {}, false);
        if (result.ok()) {
            result = control_.Send("NOOP", {}, false);
        }
        for (int i = 0; result.ok() && i < kMaxDrainReplies; ++i) {
            FtpOutcome<FtpReply> r = control_.ReadReply(false);
            if (!r.ok()) {
                result = r.result;
                break;
            }
            if (r.value.code == 200) {
                break;
            }
            const ReplyKind kind = ClassifyReply(r.value.code);
            if (kind != ReplyKind::kCompletion && kind != ReplyKind::kPreliminary &&
                lastFailureReply_.code == 0) {
                lastFailureReply_ = r.value;
            }
            if (i + 1 == kMaxDrainReplies) {
                result = FtpFail(ftpcode::kExtendedError, "The server did not settle after ABOR.");
                control_.Break(result);
            }
        }
    }
    finalRead_ = true;
    finalResult_ = FtpFail(ftpcode::kConnectionAborted, "The transfer was aborted.");
    Finish();
    return result;
}

FtpResult FtpFileStream::FailTransfer(FtpResult why) {
    (void)Abort();
    if (why.code != ftpcode::kCancelled && lastFailureReply_.code != 0) {
        finalResult_ = ReplyFailure(lastFailureReply_);
    } else {
        finalResult_ = std::move(why);
    }
    return finalResult_;
}

FtpOutcome<std::size_t> FtpFileStream::ReceiveData(char* into, std::size_t n) {
    FtpOutcome<std::size_t> got = data_->ReceiveSome(into, n, timeouts_.receive);
    if (got.ok() && got.value == 0) {
        dataEnded_ = true;
        data_->CloseNow();
    }
    return got;
}

FtpResult FtpFileStream::Fill() {
    buffer_.clear();
    readPos_ = 0;
    readLen_ = 0;
    while (readLen_ == 0 && !dataEnded_) {
        FtpOutcome<std::size_t> got = ReceiveData(raw_.data(), raw_.size());
        if (!got.ok()) {
            return got.result;
        }
        if (!ascii_) {
            // Binary bytes are handed out from where they were received.
            readData_ = raw_.data();
            readLen_ = got.value;
            continue;
        }
        if (got.value == 0) {
            decoder_.Finish(buffer_);
        } else {
            decoder_.Decode(raw_.data(), got.value, buffer_);
        }
        readData_ = buffer_.data();
        readLen_ = buffer_.size();
    }
    return FtpOk();
}

FtpOutcome<std::size_t> FtpFileStream::EndOfData() {
    // The data connection ended: only the final reply says whether that
    // was the whole file.
    FtpResult fin = ReadFinalReply();
    if (!fin.ok()) {
        return fin;
    }
    return std::size_t{0};
}

FtpOutcome<std::size_t> FtpFileStream::Read(char* out, std::size_t n) {
    if (direction_ != Direction::kRead) {
        return FtpFail(ftpcode::kInvalidOperation, "The file was opened for writing.");
    }
    if (n == 0) {
        return std::size_t{0};
    }
    if (readPos_ == readLen_) {
        if (finished_) {
            if (!finalResult_.ok()) {
                return finalResult_;
            }
            return std::size_t{0};
        }
        if (!ascii_ && n >= kDirectRead && !dataEnded_) {
            FtpOutcome<std::size_t> got = ReceiveData(out, n);
            if (!got.ok()) {
                return FailTransfer(std::move(got.result));
            }
            if (got.value == 0) {
                return EndOfData();
            }
            transferred_ += static_cast<std::int64_t>(got.value);
            return got.value;
        }
        FtpResult f = Fill();
        if (!f.ok()) {
            return FailTransfer(std::move(f));
        }
        if (readLen_ == 0) {
            return EndOfData();
        }
    }
    const std::size_t take = std::min(n, readLen_ - readPos_);
    std::memcpy(out, readData_ + readPos_, take);
    readPos_ += take;
    transferred_ += static_cast<std::int64_t>(take);
    return take;
}

FtpResult FtpFileStream::Flush() {
    if (buffer_.empty()) {
        return FtpOk();
    }
    FtpResult r;
    if (ascii_) {
        wire_.clear();
        encoder_.Encode(buffer_.data(), buffer_.size(), wire_);
        r = data_->SendAll(wire_, timeouts_.send);
    } else {
        r = data_->SendAll(buffer_, timeouts_.send);
    }
    buffer_.clear();
    return r;
}

FtpResult FtpFileStream::Write(const char* in, std::size_t n) {
    if (direction_ != Direction::kWrite) {
        return FtpFail(ftpcode::kInvalidOperation, "The file was opened for reading.");
    }
    if (finished_) {
        return finalResult_.ok() ? FtpFail(ftpcode::kIncorrectHandleState, "The file is closed.") : finalResult_;
    }
    std::size_t done = 0;
    while (done < n) {
        const std::size_t room = kBufferSize - buffer_.size();
        const std::size_t take = std::min(room, n - done);
        buffer_.append(in + done, take);
        done += take;
        if (buffer_.size() == kBufferSize) {
            FtpResult r = Flush();
            if (!r.ok()) {
                return FailTransfer(std::move(r));
            }
        }
    }
    transferred_ += static_cast<std::int64_t>(n);
    return FtpOk();
}

FtpResult FtpFileStream::Close() {
    if (finished_) {
        return finalResult_;
    }
    if (direction_ == Direction::kWrite) {
        FtpResult r = Flush();
        if (!r.ok()) {
            return FailTransfer(std::move(r));
        }
        data_->ShutdownSend();
        data_->CloseNow();
        return ReadFinalReply();
    }
    // Reading: fine only at the end of the data.
    if (readPos_ < readLen_) {
        return FailTransfer(FtpFail(ftpcode::kConnectionAborted, "The file was closed before its end."));
    }
    if (!dataEnded_) {
        FtpResult f = Fill();
        if (!f.ok()) {
            return FailTransfer(std::move(f));
        }
        if (readLen_ != 0) {
            return FailTransfer(FtpFail(ftpcode::kConnectionAborted, "The file was closed before its end."));
        }
    }
    return ReadFinalReply();
}

}  // namespace zyfar
