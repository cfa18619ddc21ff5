// The command logic against a scripted peer (server bytes in the chunks given; what the client sent).
#include "ftp/FtpControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zyfar {
namespace {

struct PeerLog {
    std::string sent;
    int receiveCalls = 0;
};

class ScriptedPeer final : public ByteStream {
public:
    ScriptedPeer(std::deque<std::string> chunks, std::shared_ptr<PeerLog> log)
        : chunks_(std::move(chunks)), log_(std::move(log)) {}

    FtpResult SendAll(std::string_view data, Millis) override {
        if (!open_) return FtpFail(ftpcode::kConnectionAborted, "closed");
        log_->sent.append(data);
        return FtpOk();
    }
    FtpOutcome<std::size_t> ReceiveSome(char* buffer, std::size_t n, Millis) override {
        ++log_->receiveCalls;
        if (chunks_.empty()) return FtpFail(ftpcode::kTimeout, "The request has timed out.");
        std::string& c = chunks_.front();
        if (c == "<EOF>") {
            chunks_.pop_front();
            return std::size_t{0};
        }
        const std::size_t take = std::min(n, c.size());
        std::copy(c.begin(), c.begin() + static_cast<std::ptrdiff_t>(take), buffer);
        c.erase(0, take);
        if (c.empty()) chunks_.pop_front();
        return take;
    }
    void SetCancellable(bool) override {}
    void ShutdownSend() override {}
    void CloseNow() override { open_ = false; }
    bool IsOpen() const override { return open_; }

private:
    std::deque<std::string> chunks_;
    std::shared_ptr<PeerLog> log_;
    bool open_ = true;
};

struct Harness {
    std::shared_ptr<PeerLog> log = std::make_shared<PeerLog>();
    std::vector<std::string> trace;
    std::unique_ptr<FtpControl> ctrl;

    explicit Harness(std::deque<std::string> chunks) {
        ctrl = std::make_unique<FtpControl>(std::make_unique<ScriptedPeer>(std::move(chunks), log),
                                            ControlTimeouts{}, [this](std::string_view l) {
                                                trace.emplace_back(l);
                                            });
    }
};

// Replies in chunks, what the client does, the exact bytes it must send, the outcome.
struct Script {
    const char* what;
    std::deque<std::string> replies;
    std::function<FtpResult(FtpControl&)> run;
    std::string sent;
    int code = 0;                    // 0: success
    const char* text = nullptr;      // the failure text, where it is checked
    bool usableAfter = true;
};

TEST(FtpControl, ScriptedExchanges) {
    const auto greeting = [](FtpControl& c) { return c.ReadGreeting(); };
    const auto login = [](const char* user, const char* password) {
        return [=](FtpControl& c) { return c.Login(user, password); };
    };
    const Script scripts[] = {
        {"greeting after a preliminary reply", {"120 wait a minute\r\n", "220 ready\r\n"}, greeting, ""},
        {"greeting cut off", {"220-half a gree", "<EOF>"}, greeting, "", ftpcode::kConnectionAborted, nullptr, false},
        {"refused user name", {"530 This FTP server is anonymous only.\r\n"}, login("joe", "pw"), "USER joe\r\n",
         ftpcode::kIncorrectUserName},
        {"account asked for: no ACCT", {"331 pass\r\n", "332 Need account for login.\r\n"}, login("joe", "pw"),
         "USER joe\r\nPASS pw\r\n", ftpcode::kLoginFailure,
         "The server asks for an account (ACCT), which is not supported: 332 Need account for login."},
        {"empty user is anonymous", {"331 pass\r\n", "230 ok\r\n"}, login("", ""), "USER anonymous\r\nPASS\r\n"},
        {"line break in the password", {"331 pass\r\n", "230 ok\r\n"}, login("joe", "pw\r\nDELE x"), "",
         ftpcode::kInvalidOperation},
        {"rename needs 350 before RNTO", {"550 no such file\r\n"}, [](FtpControl& c) { return c.Rename("a", "b"); },
         "RNFR a\r\n", ftpcode::kExtendedError},
        {"refused TYPE is asked again", {"504 no\r\n", "200 ok\r\n"},
         [](FtpControl& c) {
             EXPECT_FALSE(c.Type(true).ok());
             return c.Type(true);
         },
         "TYPE A\r\nTYPE A\r\n"},
        {"QUIT once", {"221 bye\r\n"},
         [](FtpControl& c) {
             c.Quit();
             c.Quit();
             return c.usable() ? FtpFail(ftpcode::kInternalError, "still usable") : FtpOk();
         },
         "QUIT\r\n", 0, nullptr, false},
    };
    for (const Script& s : scripts) {
        SCOPED_TRACE(s.what);
        Harness h(s.replies);
        const FtpResult r = s.run(*h.ctrl);
        EXPECT_EQ(r.code, s.code) << r.text;
        if (s.text != nullptr) { EXPECT_EQ(r.text, s.text); }
        EXPECT_EQ(h.log->sent, s.sent);
        EXPECT_EQ(h.ctrl->usable(), s.usableAfter);
        if (!s.usableAfter && s.code != 0) {  // a broken connection refuses and sends nothing more
            EXPECT_FALSE(h.ctrl->Cwd("/y").ok());
            EXPECT_EQ(h.log->sent, s.sent);
        }
    }
}

TEST(FtpControl, RepliesWithValues) {
    Harness feat({"211-Features:\r\n MLST type*;size*;modify*;\r\n SIZE\r\n mdtm\r\n EPSV\r\n UTF8\r\n REST STREAM\r\n211 End\r\n"});
    ASSERT_TRUE(feat.ctrl->Feat().ok());
    const FtpFeatures& f = feat.ctrl->features();
    EXPECT_TRUE(f.mlst && f.mlsd && f.size && f.mdtm && f.epsv && f.utf8);
    // Names inside the first or last line are no features; an unknown FEAT means none.
    Harness odd({"211-MLST SIZE are not here\r\n EPSV\r\n211 MLST\r\n"});
    ASSERT_TRUE(odd.ctrl->Feat().ok());
    EXPECT_TRUE(!odd.ctrl->features().mlst && !odd.ctrl->features().size && odd.ctrl->features().epsv);
    Harness none({"500 FEAT not understood\r\n"});
    ASSERT_TRUE(none.ctrl->Feat().ok());
    EXPECT_TRUE(!none.ctrl->features().mlsd && !none.ctrl->features().size);

    Harness h({"213 20240229235958.123\r\n"});  // MDTM with a fraction
    const RemoteTime t = h.ctrl->Mdtm("f").value;
    EXPECT_EQ((std::vector<int>{t.year, t.month, t.day, t.hour, t.minute, t.second, t.valid}),
              (std::vector<int>{2024, 2, 29, 23, 59, 58, 1}));
    EXPECT_EQ(h.log->sent, "MDTM f\r\n");
}

TEST(FtpReplyClass, FailureTextIsCutTo255BytesOnACharacterBoundary) {
    std::string text = "550 ";
    for (int i = 0; i < 200; ++i) text += "\xC3\xA9";  // é, two bytes
    FtpResult r = ReplyFailure(FtpReply{550, {text}, ""});
    EXPECT_LE(r.text.size(), kFtpErrorTextMax);
    EXPECT_GE(r.text.size(), kFtpErrorTextMax - 1);
    // No split sequence: the text ends with a complete "é".
    EXPECT_EQ(static_cast<unsigned char>(r.text.back()), 0xA9);
}

TEST(FtpReplyParse, PwdReplies) {
    const std::pair<const char*, const char*> cases[] = {  // nullptr: unreadable
        {"\"/\" is the current directory", "/"},
        {"\"/home/joe\"", "/home/joe"},
        {"\"/a \"\"quoted\"\" name\" is current", "/a \"quoted\" name"},
        {"\"\"\"\"\"\"", "\"\""},
        {"/no/quotes is current", "/no/quotes"},
        {"\"/unterminated", nullptr},
        {"\"\" empty", nullptr},
        {"", nullptr},
    };
    for (const auto& [text, want] : cases) {
        const std::optional<std::string> got = ParsePwdReply(text);
        EXPECT_EQ(got.has_value(), want != nullptr) << text;
        if (got && want) { EXPECT_EQ(*got, want); }
    }
}

TEST(FtpReplyParse, PassiveSizeAndPortArguments) {
    EXPECT_EQ(ParseEpsvReply("Entering Extended Passive Mode (|||6446|)"), 6446);
    EXPECT_EQ(ParseEpsvReply("(!!!21!)"), 21);
    EXPECT_EQ(ParsePasvReply("Entering Passive Mode (127,0,0,1,4,1)."), 1025);
    EXPECT_EQ(ParsePasvReply("=10,1,2,3,255,255"), 65535);
    for (const char* bad : {"(|||0|)", "(|||70000|)", "(||6446|)", "no parens"}) EXPECT_FALSE(ParseEpsvReply(bad)) << bad;
    for (const char* bad : {"(127,0,0,1,4)", "(127,0,0,1,256,1)", "(127,0,0,1,0,0)"}) EXPECT_FALSE(ParsePasvReply(bad)) << bad;
    EXPECT_EQ(ParseSizeReply("9223372036854775807"), INT64_MAX);
    for (const char* bad : {"9223372036854775808", "-1", "12 bytes", ""}) EXPECT_FALSE(ParseSizeReply(bad)) << bad;
    EXPECT_EQ(FormatPortArgument(SocketAddress::Loopback4(1025)), "127,0,0,1,4,1");
    EXPECT_EQ(FormatEprtArgument(SocketAddress::Loopback4(1025)), "|1|127.0.0.1|1025|");
    EXPECT_EQ(FormatEprtArgument(SocketAddress::Loopback6(2121)), "|2|::1|2121|");
}

}  // namespace
}  // namespace zyfar
