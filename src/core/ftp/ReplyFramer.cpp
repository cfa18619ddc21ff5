#include "ftp/ReplyFramer.h"

#include <utility>

#include "platform/TextUtil.h"

namespace zyfar {

namespace {

// The code at the start of a line, or -1 when the line does not start with
// three digits followed by nothing, a blank or a '-'.
int LeadingCode(std::string_view line) {
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) {
        return -1;
    }
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-') {
        return -1;
    }
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

}  // namespace

namespace {

bool IsWordByte(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           static_cast<unsigned char>(c) >= 0x80;
}

}  // namespace

void MaskSecret(std::string& text, std::string_view secret) {
    if (secret.empty()) {
        return;
    }
    constexpr std::string_view kMask = "****";
    const bool anywhere = secret.size() >= 4;
    std::size_t at = text.find(secret);
    while (at != std::string::npos) {
        const std::size_t end = at + secret.size();
        const bool word = (at == 0 || !IsWordByte(text[at - 1])) && (end == text.size() || !IsWordByte(text[end]));
        if (anywhere || word) {
            text.replace(at, secret.size(), kMask);
            at = text.find(secret, at + kMask.size());
        } else {
            at = text.find(secret, at + 1);
        }
    }
}

std::string FtpReply::Text() const {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            out += '\n';
        }
        out += lines[i];
    }
    MaskSecret(out, secret);
    return out;
}

std::string FtpReply::LastLineText() const {
    if (lines.empty()) {
        return {};
    }
    const std::string& last = lines.back();
    std::string out = last;
    if (last.size() >= 4 && LeadingCode(last) == code) {
        out = last.substr(4);
    } else if (last.size() == 3 && LeadingCode(last) == code) {
        out.clear();
    }
    MaskSecret(out, secret);
    return out;
}

bool ReplyFramer::Feed(std::string_view chunk) {
    if (Failed()) {
        return false;
    }
    std::size_t pos = 0;
    while (pos < chunk.size()) {
        const std::size_t lf = chunk.find('\n', pos);
        const std::size_t end = lf == std::string_view::npos ? chunk.size() : lf;
        const std::size_t room = kMaxLineBytes - line_.size();
        if (end - pos > room) {
            Fail("reply line longer than 64 KiB");
            return false;
        }
        line_.append(chunk.substr(pos, end - pos));
        if (lf == std::string_view::npos) {
            break;
        }
        pos = lf + 1;
        std::string done = std::move(line_);
        line_.clear();
        if (!done.empty() && done.back() == '\r') {
            done.pop_back();
        }
        OnLine(std::move(done));
        if (Failed()) {
            return false;
        }
    }
    return true;
}

void ReplyFramer::OnLine(std::string line) {
    const int code = LeadingCode(line);
    if (!inReply_) {
        if (code < 100 || code > 599) {
            Fail(code < 0 ? "reply does not start with a three-digit code"
                          : "reply code out of range");
            return;
        }
        current_ = FtpReply{};
        current_.code = code;
        const bool multi = line.size() > 3 && line[3] == '-';
        current_.lines.push_back(std::move(line));
        if (multi) {
            inReply_ = true;
        } else {
            ready_.push_back(std::move(current_));
        }
        return;
    }
    if (current_.lines.size() >= kMaxReplyLines) {
        Fail("reply longer than 10000 lines");
        return;
    }
    const bool ends = code == current_.code && (line.size() == 3 || line[3] == ' ');
    current_.lines.push_back(std::move(line));
    if (ends) {
        inReply_ = false;
        ready_.push_back(std::move(current_));
    }
}

FtpReply ReplyFramer::TakeReply() {
    FtpReply r = std::move(ready_.front());
    ready_.pop_front();
    return r;
}

void ReplyFramer::Fail(std::string why) {
    error_ = std::move(why);
    line_.clear();
    current_ = FtpReply{};
    inReply_ = false;
}

void ReplyFramer::Reset() {
    line_.clear();
    inReply_ = false;
    current_ = FtpReply{};
    ready_.clear();
    error_.clear();
}

}  // namespace zyfar
