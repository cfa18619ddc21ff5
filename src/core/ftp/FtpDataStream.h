#pragma once
// A remote file opened for reading or writing over an FTP data connection.
//
// Buffers: reads fill a 256 KiB buffer per receive and writes collect 256 KiB
// before one send, so the copy loop's small reads and writes are memory
// copies. ASCII mode converts line ends as FTP's TYPE A asks: received CRLF
// becomes LF (a lone CR is kept), and a sent LF becomes CRLF (an LF already
// preceded by CR is sent as it is, so CRLF files do not grow a second CR).
// Binary mode passes bytes unchanged.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ftp/FtpControl.h"
#include "ftp/FtpError.h"
#include "ftp/Socket.h"

namespace zyfar {

// CRLF -> LF, across chunk boundaries.
class AsciiDecoder {
public:
    // Appends the decoded form of in[0..n) to out.
    void Decode(const char* in, std::size_t n, std::string& out);
    // Flushes a CR held back at the end of the last chunk.
    void Finish(std::string& out);

private:
    bool pendingCr_ = false;
};

// LF -> CRLF (unless already preceded by CR), across chunk boundaries.
class AsciiEncoder {
public:
    void Encode(const char* in, std::size_t n, std::string& out);

private:
    char last_ = 0;
};

struct DataTimeouts {
    Millis send{20000};
    Millis receive{20000};
};

class FtpFileStream {
public:
    enum class Direction { kRead, kWrite };
    static constexpr std::size_t kBufferSize = 256 * 1024;
    // A binary read of at least the buffer's size, with nothing buffered,
    // receives straight into the caller's buffer.
    static constexpr std::size_t kDirectRead = kBufferSize;

    // The data connection is open and the server has sent its 1xx reply.
    // onFinished runs once, when the transfer's final reply has been dealt
    // with (or the control connection is lost).
    FtpFileStream(FtpControl& control, std::unique_ptr<ByteStream> data, Direction direction, bool ascii,
                  DataTimeouts timeouts, std::function<void()> onFinished);
    // A stream still open is aborted.
    ~FtpFileStream();
    FtpFileStream(const FtpFileStream&) = delete;
    FtpFileStream& operator=(const FtpFileStream&) = delete;

    // Up to n bytes; 0 at the end of the file. At the end the server's final
    // reply is read: a failure reply (426, 451, ...) or a lost control
    // connection is returned as a failure, never as a clean end.
    [[nodiscard]] FtpOutcome<std::size_t> Read(char* buffer, std::size_t n);
    // Writes all n bytes (buffered).
    [[nodiscard]] FtpResult Write(const char* buffer, std::size_t n);
    // Ends the transfer: flushes a write, closes the data connection and
    // reads the final reply, which must be 2xx. A read stream closed before
    // its end is aborted and the result is a failure.
    [[nodiscard]] FtpResult Close();
    // Abandons the transfer: closes the data connection, sends ABOR and
    // drains the replies (up to the reply of a NOOP sent behind it).
    FtpResult Abort();

    [[nodiscard]] bool IsOpen() const { return !finished_; }
    [[nodiscard]] Direction direction() const { return direction_; }
    // Bytes handed to Write or returned by Read so far.
    [[nodiscard]] std::int64_t BytesTransferred() const { return transferred_; }

private:
    // One receive into `into`; at the end of the data the data connection
    // is closed.
    [[nodiscard]] FtpOutcome<std::size_t> ReceiveData(char* into, std::size_t n);
    [[nodiscard]] FtpResult Fill();
    [[nodiscard]] FtpOutcome<std::size_t> EndOfData();
    [[nodiscard]] FtpResult Flush();
    [[nodiscard]] FtpResult ReadFinalReply();
    // A data-side failure: abort (so the control connection stays in step)
    // and report the failure, preferring the server's own words.
    [[nodiscard]] FtpResult FailTransfer(FtpResult why);
    void Finish();

    FtpControl& control_;
    std::unique_ptr<ByteStream> data_;
    Direction direction_;
    bool ascii_;
    DataTimeouts timeouts_;
    std::function<void()> onFinished_;

    std::vector<char> raw_;    // bytes as received
    std::string buffer_;       // decoded bytes for the caller (ASCII read) or collected (write)
    // What Read hands out: raw_ in binary mode, buffer_ in ASCII mode.
    const char* readData_ = nullptr;
    std::size_t readLen_ = 0;
    std::size_t readPos_ = 0;
    std::string wire_;         // encoded bytes to send
    AsciiDecoder decoder_;
    AsciiEncoder encoder_;
    bool dataEnded_ = false;   // the server closed the data connection
    bool finalRead_ = false;   // the transfer's final reply has been read
    FtpResult finalResult_;
    FtpReply lastFailureReply_;
    bool finished_ = false;
    std::int64_t transferred_ = 0;
};

}  // namespace zyfar
