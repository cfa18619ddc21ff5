// The command logic against a scripted peer: the peer hands out the server's
// bytes in the chunks given and records what the client sent.
#include "ftp/FtpControl.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <ostream>
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
        if (!open_) {
            return FtpFail(ftpcode::kConnectionAborted, "closed");
        }
        log_->sent.append(data);
        return FtpOk();
    }
    FtpOutcome<std::size_t> ReceiveSome(char* buffer, std::size_t n, Millis) override {
        ++log_->receiveCalls;
        if (chunks_.empty()) {
            return FtpFail(ftpcode::kTimeout, "The request has timed out.");
        }
        std::string& c = chunks_.front();
        if (c == "<EOF>") {
            chunks_.pop_front();
            return std::size_t{0};
        }
        const std::size_t take = std::min(n, c.size());
        std::copy(c.begin(), c.begin() + static_cast<std::ptrdiff_t>(take), buffer);
        c.erase(0, take);
        if (c.empty()) {
            chunks_.pop_front();
        }
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

TEST(FtpControlLogin, UserPassAndTheExactCommandsSent) {
    Harness h({"220 hi\r\n", "331 need pass\r\n", "230 ok\r\n"});
    ASSERT_TRUE(h.ctrl->ReadGreeting().ok());
    FtpResult r = h.ctrl->Login("joe", "s3cret");
    EXPECT_TRUE(r.ok()) << r.text;
    EXPECT_EQ(h.log->sent, "USER joe\r\nPASS s3cret\r\n");
    for (const std::string& t : h.trace) {
        EXPECT_EQ(t.find("s3cret"), std::string::npos) << t;
    }
    EXPECT_NE(std::find(h.trace.begin(), h.trace.end(), "> PASS ****"), h.trace.end());
}

TEST(FtpControlLogin, LoggedInRightAfterUserSendsNoPassword) {
    Harness h({"230 welcome, no password needed\r\n"});
    EXPECT_TRUE(h.ctrl->Login("joe", "pw").ok());
    EXPECT_EQ(h.log->sent, "USER joe\r\n");
}

TEST(FtpControlLogin, WrongPasswordIsLoginFailureQuotingTheServer) {
    Harness h({"331 pass\r\n", "530 Login incorrect.\r\n"});
    FtpResult r = h.ctrl->Login("joe", "hunter2");
    EXPECT_EQ(r.code, ftpcode::kLoginFailure);
    EXPECT_EQ(r.text, "530 Login incorrect.");
    EXPECT_TRUE(h.ctrl->usable());  // the connection itself is fine
}

TEST(FtpControlLogin, RefusedUserNameIsIncorrectUserName) {
    Harness h({"530 This FTP server is anonymous only.\r\n"});
    FtpResult r = h.ctrl->Login("joe", "pw");
    EXPECT_EQ(r.code, ftpcode::kIncorrectUserName);
    EXPECT_EQ(h.log->sent, "USER joe\r\n");
}

TEST(FtpControlLogin, AccountRequestIsAFailureAndNoAcctIsSent) {
    Harness h({"331 pass\r\n", "332 Need account for login.\r\n"});
    FtpResult r = h.ctrl->Login("joe", "pw");
    EXPECT_EQ(r.code, ftpcode::kLoginFailure);
    EXPECT_NE(r.text.find("332"), std::string::npos);
    EXPECT_EQ(h.log->sent.find("ACCT"), std::string::npos);
}

TEST(FtpControlLogin, EmptyUserLogsInAsAnonymous) {
    Harness h({"331 pass\r\n", "230 ok\r\n"});
    EXPECT_TRUE(h.ctrl->Login("", "").ok());
    EXPECT_EQ(h.log->sent, "USER anonymous\r\nPASS\r\n");
}

TEST(FtpControlLogin, PasswordWithLineBreakIsRefusedBeforeAnythingIsSent) {
    Harness h({"331 pass\r\n", "230 ok\r\n"});
    FtpResult r = h.ctrl->Login("joe", "pw\r\nDELE x");
    EXPECT_EQ(r.code, ftpcode::kInvalidOperation);
    EXPECT_TRUE(h.log->sent.empty());
    EXPECT_EQ(r.text.find("DELE"), std::string::npos);
}

TEST(FtpControlGreeting, PreliminaryThenReady) {
    Harness h({"120 wait a minute\r\n", "220 ready\r\n"});
    EXPECT_TRUE(h.ctrl->ReadGreeting().ok());
}

TEST(FtpControlGreeting, ServiceNotAvailableClosesWithDropped) {
    Harness h({"421 Too many users\r\n"});
    FtpResult r = h.ctrl->ReadGreeting();
    EXPECT_EQ(r.code, ftpcode::kDropped);
    EXPECT_EQ(r.text, "421 Too many users");
    EXPECT_FALSE(h.ctrl->usable());
    // Later commands fail at once, nothing more is sent.
    EXPECT_FALSE(h.ctrl->Cwd("/x").ok());
    EXPECT_TRUE(h.log->sent.empty());
}

TEST(FtpControlGreeting, ConnectionClosedIsAborted) {
    Harness h({"220-half a gree", "<EOF>"});
    FtpResult r = h.ctrl->ReadGreeting();
    EXPECT_EQ(r.code, ftpcode::kConnectionAborted);
    EXPECT_FALSE(h.ctrl->usable());
}

TEST(FtpControlGreeting, SilenceIsATimeOutAndBreaksTheConnection) {
    Harness h({});
    FtpResult r = h.ctrl->ReadGreeting();
    EXPECT_EQ(r.code, ftpcode::kTimeout);
    EXPECT_FALSE(h.ctrl->usable());
}

TEST(FtpControlGreeting, GarbageIsAProtocolError) {
    Harness h({"SSH-2.0-OpenSSH_9.2\r\n"});
    FtpResult r = h.ctrl->ReadGreeting();
    EXPECT_EQ(r.code, ftpcode::kExtendedError);
    EXPECT_FALSE(h.ctrl->usable());
}

TEST(FtpControlFeat, RemembersTheExtensions) {
    Harness h({"211-Features:\r\n MLST type*;size*;modify*;\r\n SIZE\r\n mdtm\r\n EPSV\r\n UTF8\r\n REST STREAM\r\n211 End\r\n"});
    ASSERT_TRUE(h.ctrl->Feat().ok());
    const FtpFeatures& f = h.ctrl->features();
    EXPECT_TRUE(f.mlst);
    EXPECT_TRUE(f.mlsd);
    EXPECT_TRUE(f.size);
    EXPECT_TRUE(f.mdtm);
    EXPECT_TRUE(f.epsv);
    EXPECT_TRUE(f.utf8);
}

TEST(FtpControlFeat, UnknownFeatMeansNoExtensions) {
    Harness h({"500 FEAT not understood\r\n"});
    EXPECT_TRUE(h.ctrl->Feat().ok());
    EXPECT_FALSE(h.ctrl->features().mlsd);
    EXPECT_FALSE(h.ctrl->features().size);
}

TEST(FtpControlFeat, FeatureNamesInsideTheFirstLineDoNotCount) {
    Harness h({"211-MLST SIZE are not here\r\n EPSV\r\n211 MLST\r\n"});
    ASSERT_TRUE(h.ctrl->Feat().ok());
    EXPECT_FALSE(h.ctrl->features().mlst);
    EXPECT_FALSE(h.ctrl->features().size);
    EXPECT_TRUE(h.ctrl->features().epsv);
}

TEST(FtpControlCommands, TypeIsSentOnlyWhenItChanges) {
    Harness h({"200 ok\r\n", "200 ok\r\n", "200 ok\r\n"});
    EXPECT_TRUE(h.ctrl->Type(false).ok());
    EXPECT_TRUE(h.ctrl->Type(false).ok());
    EXPECT_TRUE(h.ctrl->Type(true).ok());
    EXPECT_TRUE(h.ctrl->Type(true).ok());
    EXPECT_TRUE(h.ctrl->Type(false).ok());
    EXPECT_EQ(h.log->sent, "TYPE I\r\nTYPE A\r\nTYPE I\r\n");
}

TEST(FtpControlCommands, RefusedTypeIsAskedAgainNextTime) {
    Harness h({"504 no\r\n", "200 ok\r\n"});
    EXPECT_FALSE(h.ctrl->Type(true).ok());
    EXPECT_TRUE(h.ctrl->Type(true).ok());
    EXPECT_EQ(h.log->sent, "TYPE A\r\nTYPE A\r\n");
}

TEST(FtpControlCommands, PwdWithDoubledQuotes) {
    Harness h({"257 \"/a \"\"b\"\" c\" is the current directory\r\n"});
    FtpOutcome<std::string> r = h.ctrl->Pwd();
    ASSERT_TRUE(r.ok()) << r.result.text;
    EXPECT_EQ(r.value, "/a \"b\" c");
}

TEST(FtpControlCommands, CwdFailureQuotesTheServer) {
    Harness h({"550 /nope: No such file or directory.\r\n"});
    FtpResult r = h.ctrl->Cwd("/nope");
    EXPECT_EQ(r.code, ftpcode::kExtendedError);
    EXPECT_EQ(r.text, "550 /nope: No such file or directory.");
    EXPECT_EQ(h.log->sent, "CWD /nope\r\n");
}

TEST(FtpControlCommands, LineBreaksAndNulInArgumentsAreRefusedUnsent) {
    Harness h({"250 ok\r\n"});
    EXPECT_EQ(h.ctrl->Cwd("a\rb").code, ftpcode::kInvalidOperation);
    EXPECT_EQ(h.ctrl->Dele("a\nDELE b").code, ftpcode::kInvalidOperation);
    EXPECT_EQ(h.ctrl->Mkd(std::string("a\0b", 3)).code, ftpcode::kInvalidOperation);
    EXPECT_EQ(h.ctrl->Rename("a", "b\r\n").code, ftpcode::kInvalidOperation);
    EXPECT_EQ(h.ctrl->Rename("a\n", "b").code, ftpcode::kInvalidOperation);
    EXPECT_TRUE(h.log->sent.empty());
    EXPECT_TRUE(h.ctrl->usable());
    EXPECT_TRUE(h.ctrl->Cwd("fine").ok());
}

TEST(FtpControlCommands, RenameNeedsThreeFiftyBeforeRnto) {
    Harness h({"550 no such file\r\n"});
    EXPECT_FALSE(h.ctrl->Rename("a", "b").ok());
    EXPECT_EQ(h.log->sent, "RNFR a\r\n");
}

TEST(FtpControlCommands, RenameBothSteps) {
    Harness h({"350 go on\r\n", "250 renamed\r\n"});
    EXPECT_TRUE(h.ctrl->Rename("a b", "c").ok());
    EXPECT_EQ(h.log->sent, "RNFR a b\r\nRNTO c\r\n");
}

TEST(FtpControlCommands, SizeIsSixtyFourBit) {
    Harness h({"213 5368709120\r\n"});
    FtpOutcome<std::int64_t> r = h.ctrl->Size("big.iso");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value, 5368709120LL);
}

TEST(FtpControlCommands, MdtmTime) {
    Harness h({"213 20240229235958.123\r\n"});
    FtpOutcome<RemoteTime> r = h.ctrl->Mdtm("f");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value.year, 2024);
    EXPECT_EQ(r.value.month, 2);
    EXPECT_EQ(r.value.day, 29);
    EXPECT_EQ(r.value.hour, 23);
    EXPECT_EQ(r.value.second, 58);
    EXPECT_TRUE(r.value.valid);
}

TEST(FtpControlCommands, MlstReturnsTheFactLine) {
    Harness h({"250-Listing /pub/a.txt\r\n type=file;size=3; /pub/a.txt\r\n250 End.\r\n"});
    FtpOutcome<std::string> r = h.ctrl->Mlst("/pub/a.txt");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value, " type=file;size=3; /pub/a.txt");
}

TEST(FtpControlCommands, EpsvNotUnderstoodSwitchesToPasv) {
    Harness h({"502 no EPSV\r\n", "227 Entering Passive Mode (10,1,2,3,19,137)\r\n"});
    EXPECT_FALSE(h.ctrl->Epsv().ok());
    EXPECT_FALSE(h.ctrl->epsvWorks());
    FtpOutcome<std::uint16_t> p = h.ctrl->Pasv();
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(p.value, 19 * 256 + 137);
}

TEST(FtpControlCommands, ServerClosingMidSessionIsDropped) {
    Harness h({"421 Timeout, closing control connection.\r\n"});
    FtpResult r = h.ctrl->Cwd("/x");
    EXPECT_EQ(r.code, ftpcode::kDropped);
    EXPECT_FALSE(h.ctrl->usable());
}

TEST(FtpControlCommands, QuitIsSentOnceAndClosesTheConnection) {
    Harness h({"221 bye\r\n"});
    h.ctrl->Quit();
    EXPECT_EQ(h.log->sent, "QUIT\r\n");
    EXPECT_FALSE(h.ctrl->usable());
    h.ctrl->Quit();
    EXPECT_EQ(h.log->sent, "QUIT\r\n");
}

TEST(FtpReplyClass, SpecialCasesBeforeTheFirstDigit) {
    EXPECT_EQ(ClassifyReply(150), ReplyKind::kPreliminary);
    EXPECT_EQ(ClassifyReply(226), ReplyKind::kCompletion);
    EXPECT_EQ(ClassifyReply(331), ReplyKind::kIntermediate);
    EXPECT_EQ(ClassifyReply(421), ReplyKind::kServiceClosing);
    EXPECT_EQ(ClassifyReply(425), ReplyKind::kTransient);
    EXPECT_EQ(ClassifyReply(426), ReplyKind::kTransferAborted);
    EXPECT_EQ(ClassifyReply(450), ReplyKind::kFileBusy);
    EXPECT_EQ(ClassifyReply(500), ReplyKind::kNotUnderstood);
    EXPECT_EQ(ClassifyReply(504), ReplyKind::kNotUnderstood);
    EXPECT_EQ(ClassifyReply(505), ReplyKind::kPermanent);
    EXPECT_EQ(ClassifyReply(550), ReplyKind::kPermanent);
}

TEST(FtpReplyClass, FailureCodes) {
    FtpReply aborted{426, {"426 Connection closed; transfer aborted."}};
    EXPECT_EQ(ReplyFailure(aborted).code, ftpcode::kConnectionAborted);
    FtpReply closing{421, {"421 bye"}};
    EXPECT_EQ(ReplyFailure(closing).code, ftpcode::kDropped);
    FtpReply other{550, {"550 nope"}};
    EXPECT_EQ(ReplyFailure(other).code, ftpcode::kExtendedError);
    EXPECT_EQ(ReplyFailure(other, ftpcode::kLoginFailure).code, ftpcode::kLoginFailure);
}

TEST(FtpReplyClass, FailureTextIsCutTo255BytesOnACharacterBoundary) {
    std::string text = "550 ";
    for (int i = 0; i < 200; ++i) {
        text += "\xC3\xA9";  // é, two bytes
    }
    FtpResult r = ReplyFailure(FtpReply{550, {text}});
    EXPECT_LE(r.text.size(), kFtpErrorTextMax);
    EXPECT_GE(r.text.size(), kFtpErrorTextMax - 1);
    // No split sequence: the text ends with a complete "é".
    EXPECT_EQ(static_cast<unsigned char>(r.text.back()), 0xA9);
}

struct PwdCase {
    const char* text;
    const char* expected;  // nullptr: unreadable
};

void PrintTo(const PwdCase& c, std::ostream* os) { *os << c.text; }

class FtpPwdParse : public ::testing::TestWithParam<PwdCase> {};

TEST_P(FtpPwdParse, Reads) {
    std::optional<std::string> r = ParsePwdReply(GetParam().text);
    if (GetParam().expected == nullptr) {
        EXPECT_FALSE(r.has_value()) << *r;
    } else {
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(*r, GetParam().expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FtpPwdParse,
    ::testing::Values(PwdCase{"\"/\" is the current directory", "/"},
                      PwdCase{"\"/home/joe\"", "/home/joe"},
                      PwdCase{"\"/a \"\"quoted\"\" name\" is current", "/a \"quoted\" name"},
                      PwdCase{"\"\"\"\"\"\"", "\"\""},
                      PwdCase{"/no/quotes is current", "/no/quotes"},
                      PwdCase{"\"/unterminated", nullptr},
                      PwdCase{"\"\" empty", nullptr},
                      PwdCase{"", nullptr}));

TEST(FtpPassiveParse, Replies) {
    EXPECT_EQ(ParseEpsvReply("Entering Extended Passive Mode (|||6446|)"), 6446);
    EXPECT_EQ(ParseEpsvReply("(!!!21!)"), 21);
    EXPECT_FALSE(ParseEpsvReply("(|||0|)").has_value());
    EXPECT_FALSE(ParseEpsvReply("(|||70000|)").has_value());
    EXPECT_FALSE(ParseEpsvReply("(||6446|)").has_value());
    EXPECT_FALSE(ParseEpsvReply("no parens").has_value());
    EXPECT_EQ(ParsePasvReply("Entering Passive Mode (127,0,0,1,4,1)."), 1025);
    EXPECT_EQ(ParsePasvReply("=10,1,2,3,255,255"), 65535);
    EXPECT_FALSE(ParsePasvReply("(127,0,0,1,4)").has_value());
    EXPECT_FALSE(ParsePasvReply("(127,0,0,1,256,1)").has_value());
    EXPECT_FALSE(ParsePasvReply("(127,0,0,1,0,0)").has_value());
}

TEST(FtpSizeParse, RejectsOverflowAndJunk) {
    EXPECT_EQ(ParseSizeReply("9223372036854775807"), INT64_MAX);
    EXPECT_FALSE(ParseSizeReply("9223372036854775808").has_value());
    EXPECT_FALSE(ParseSizeReply("-1").has_value());
    EXPECT_FALSE(ParseSizeReply("12 bytes").has_value());
    EXPECT_FALSE(ParseSizeReply("").has_value());
}

TEST(FtpPortFormat, PortAndEprt) {
    SocketAddress v4 = SocketAddress::Loopback4(1025);
    EXPECT_EQ(FormatPortArgument(v4), "127,0,0,1,4,1");
    EXPECT_EQ(FormatEprtArgument(v4), "|1|127.0.0.1|1025|");
    SocketAddress v6 = SocketAddress::Loopback6(2121);
    EXPECT_EQ(FormatEprtArgument(v6), "|2|::1|2121|");
}

}  // namespace
}  // namespace zyfar
