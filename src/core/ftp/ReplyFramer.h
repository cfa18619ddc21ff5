#pragma once
// Frames the control connection's byte stream into complete FTP replies.
// A pure class: it is fed arbitrary chunks and hands out whole replies.
//
// A reply is either one line "ddd text" or several lines that start with
// "ddd-text" and end with the first line that starts with the same code and a
// blank ("ddd text", or just "ddd"). Lines between them are text, whatever
// they hold. Lines end with LF; a CR before it is dropped. The code must be
// three digits from 100 to 599; anything else where a reply starts is a
// protocol error. A line longer than kMaxLineBytes or a reply of more than
// kMaxReplyLines lines is an error too, so a hostile server cannot make the
// framer hold unbounded memory.
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace zyfar {

struct FtpReply {
    int code = 0;
    std::vector<std::string> lines;  // as received, without the line ends (parsers read these)
    // A text the reply may echo that is never shown (the login password):
    // Text() and LastLineText() show "****" in its place (see MaskSecret).
    std::string secret;

    // All lines joined with '\n', the secret masked: the text for messages.
    [[nodiscard]] std::string Text() const;
    // The text of a one-line reply after "ddd ", or of the last line, masked.
    [[nodiscard]] std::string LastLineText() const;
};

// Replaces the secret in a text that may be shown, logged or traced by
// "****". A secret of 4 bytes or more is masked wherever it occurs. A shorter
// one is masked only where it stands as a word of its own (the bytes around
// it are not letters or digits, or it starts or ends the text): masking every
// "a" of a one-letter password would garble the whole text, and such a
// password is in the text in that form when a server echoes it ("530 Login
// incorrect for pass a"). An empty secret changes nothing.
void MaskSecret(std::string& text, std::string_view secret);

class ReplyFramer {
public:
    static constexpr std::size_t kMaxLineBytes = 64 * 1024;
    static constexpr std::size_t kMaxReplyLines = 10000;

    // Consumes a chunk. Returns false once the stream is broken (see Error()).
    bool Feed(std::string_view chunk);

    // True when a complete reply is waiting.
    [[nodiscard]] bool HasReply() const { return !ready_.empty(); }
    // Takes the oldest complete reply (HasReply() must be true).
    [[nodiscard]] FtpReply TakeReply();

    [[nodiscard]] bool Failed() const { return !error_.empty(); }
    [[nodiscard]] const std::string& Error() const { return error_; }

    // True while a reply has been started but not finished, or a partial
    // line is buffered.
    [[nodiscard]] bool InMiddle() const { return inReply_ || !line_.empty(); }

    void Reset();

private:
    void OnLine(std::string line);
    void Fail(std::string why);

    std::string line_;          // the current partial line
    bool inReply_ = false;      // inside a multi-line reply
    FtpReply current_;
    std::deque<FtpReply> ready_;
    std::string error_;
};

}  // namespace zyfar
