#include "platform/Netrc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace zyfar {
namespace {

// Larger files are not a netrc anyone writes by hand.
constexpr std::size_t kMaxNetrcBytes = 1024 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if ((x >= 'A' && x <= 'Z' ? x + 32 : x) != (y >= 'A' && y <= 'Z' ? y + 32 : y)) return false;
    }
    return true;
}

class Tokens {
public:
    explicit Tokens(std::string_view text) : text_(text) {}

    std::optional<std::string> Next() {
        while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
        if (pos_ >= text_.size()) return std::nullopt;
        std::string word;
        const bool quoted = text_[pos_] == '"';
        if (quoted) ++pos_;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (quoted ? c == '"' : IsBlank(c)) {
                ++pos_;
                break;
            }
            if (c == '\\' && pos_ + 1 < text_.size()) ++pos_;
            word += text_[pos_++];
        }
        return word;
    }

    // Skips a macro body: the rest of the "macdef" line and every line up to
    // and including the first empty one.
    void SkipMacro() {
        std::size_t eol = text_.find('\n', pos_);
        while (eol != std::string_view::npos) {
            const std::size_t next = text_.find('\n', eol + 1);
            std::string_view line = text_.substr(eol + 1, next == std::string_view::npos ? next : next - eol - 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.empty()) {
                pos_ = eol + 1;
                return;
            }
            eol = next;
        }
        pos_ = text_.size();
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

struct Entry {
    bool isDefault = false;
    std::string machine;
    std::optional<std::string> login;
    std::optional<std::string> password;
};

std::vector<Entry> ParseEntries(std::string_view text) {
    std::vector<Entry> entries;
    Tokens tokens(text);
    while (std::optional<std::string> word = tokens.Next()) {
        if (*word == "machine" || *word == "default") {
            Entry e;
            e.isDefault = *word == "default";
            if (!e.isDefault) e.machine = tokens.Next().value_or("");
            entries.push_back(std::move(e));
        } else if (*word == "macdef") {
            (void)tokens.Next();  // the macro's name
            tokens.SkipMacro();
        } else if (*word == "login" || *word == "password" || *word == "account") {
            std::optional<std::string> value = tokens.Next();
            if (entries.empty() || !value) continue;  // outside any entry: nothing to fill
            if (*word == "login") entries.back().login = std::move(value);
            if (*word == "password") entries.back().password = std::move(value);
        }
    }
    return entries;
}

}  // namespace

std::optional<NetrcLogin> FindNetrcLogin(std::string_view text, std::string_view host, std::string_view login) {
    const std::vector<Entry> entries = ParseEntries(text);
    const auto usable = [&](const Entry& e) {
        return e.password && (login.empty() ? e.login.has_value() : e.login == std::string(login));
    };
    for (bool wantDefault : {false, true}) {
        for (const Entry& e : entries) {
            if (e.isDefault != wantDefault || (!wantDefault && !SameNoCase(e.machine, host)) || !usable(e)) continue;
            return NetrcLogin{*e.login, *e.password};
        }
    }
    return std::nullopt;
}

NetrcLookup LookupNetrc(const std::string& path, std::string_view host, std::string_view login) {
    NetrcLookup out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT) out.refusal = path + " is not used: " + std::strerror(errno) + ".";
        return out;
    }
    struct stat st {};
    std::string text;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        out.refusal = path + " is not used: it is not a regular file.";
    } else if (st.st_uid != ::getuid()) {
        out.refusal = path + " is not used: it belongs to another user.";
    } else if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        out.refusal = path + " is not used: other users may read or change it (chmod 600 makes it private).";
    } else if (static_cast<std::size_t>(st.st_size) > kMaxNetrcBytes) {
        out.refusal = path + " is not used: it is larger than 1 MiB.";
    } else {
        char buf[8192];
        ssize_t n = 0;
        while (text.size() <= kMaxNetrcBytes && (n = ::read(fd, buf, sizeof buf)) > 0) {
            text.append(buf, static_cast<std::size_t>(n));
        }
        if (n < 0) out.refusal = path + " is not used: " + std::strerror(errno) + ".";
    }
    ::close(fd);
    if (out.refusal.empty()) out.found = FindNetrcLogin(text, host, login);
    return out;
}

}  // namespace zyfar
