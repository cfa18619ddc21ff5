#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "log/LogFile.h"
#include "log/LogFormats.h"
#include "LogTestSupport.h"

namespace zyfar {
namespace {

using logtest::ReadWholeFile;
using logtest::SplitLines;
using logtest::WriteWholeFile;

const std::string kLineA = "32863\t10:00\t01/02/2024\tLocal Machine\thost\t/a\t-\n";
const std::string kLineB = "32864\t10:01\t01/02/2024\tLocal Machine\thost\t/b\t550 denied\n";
const std::string kMarkerLine = "FTP_SERVER_FILE\n";

std::vector<LogLineFields> LoadAll(const std::string& path, LogLoadResult& result, const LogLoadLimits& limits = {}) {
    std::vector<LogLineFields> lines;
    result = ReadLogFile(path, limits, [&lines](LogLineFields&& f) { lines.push_back(std::move(f)); });
    return lines;
}

bool RunningAsRoot() { return ::geteuid() == 0; }

// ---------------------------------------------------------------- writer

class LogFileWriterTest : public logtest::LogTest {};

TEST_F(LogFileWriterTest, CreatesTheMissingFolderAndTheMarker) {
    const std::string path = root + "/state/deep/er/log1.log";
    LogFileWriter writer;
    writer.SetPath(path);
    EXPECT_TRUE(writer.FirstWrite());
    EXPECT_EQ(writer.Append(kLineA, false).status, LogFileWriter::Status::Written);
    EXPECT_FALSE(writer.FirstWrite());
    EXPECT_EQ(ReadWholeFile(path), kMarkerLine + kLineA);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(LogFileWriterTest, NoPathWritesNothing) {
    LogFileWriter writer;
    EXPECT_EQ(writer.Append(kLineA, true).status, LogFileWriter::Status::NoFile);
    EXPECT_TRUE(writer.FirstWrite());
}

TEST_F(LogFileWriterTest, FreshStartEmptiesAnOldLogOnlyAtTheFirstWrite) {
    const std::string path = root + "/old.log";
    WriteWholeFile(path, kMarkerLine + kLineB + kLineB);
    LogFileWriter writer;
    writer.SetPath(path);
    ASSERT_EQ(writer.Append(kLineA, false).status, LogFileWriter::Status::Written);
    ASSERT_EQ(writer.Append(kLineB, false).status, LogFileWriter::Status::Written);
    EXPECT_EQ(ReadWholeFile(path), kMarkerLine + kLineA + kLineB);
}

TEST_F(LogFileWriterTest, AppendKeepsTheOldLog) {
    const std::string path = root + "/old.log";
    WriteWholeFile(path, kMarkerLine + kLineB);
    LogFileWriter writer;
    writer.SetPath(path);
    ASSERT_EQ(writer.Append(kLineA, true).status, LogFileWriter::Status::Written);
    EXPECT_EQ(ReadWholeFile(path), kMarkerLine + kLineB + kLineA);
}

TEST_F(LogFileWriterTest, AForeignFileIsLeftAlone) {
    const std::string path = root + "/notes.log";
    const std::string foreign = "my precious notes\nsecond line\n";
    WriteWholeFile(path, foreign);
    LogFileWriter writer;
    writer.SetPath(path);
    for (bool append : {false, true}) {
        EXPECT_EQ(writer.Append(kLineA, append).status, LogFileWriter::Status::BadFormat);
    }
    EXPECT_EQ(ReadWholeFile(path), foreign);

    // A file shorter than the marker, even a prefix of it, is not a log file.
    WriteWholeFile(path, "FTP_SERVER");
    EXPECT_EQ(writer.Append(kLineA, true).status, LogFileWriter::Status::BadFormat);
    EXPECT_EQ(ReadWholeFile(path), "FTP_SERVER");
}

TEST_F(LogFileWriterTest, AnEmptyFileIsStartedAsANewLog) {
    const std::string path = root + "/empty.log";
    WriteWholeFile(path, "");
    LogFileWriter writer;
    writer.SetPath(path);
    ASSERT_EQ(writer.Append(kLineA, true).status, LogFileWriter::Status::Written);
    EXPECT_EQ(ReadWholeFile(path), kMarkerLine + kLineA);
}

TEST_F(LogFileWriterTest, AFolderInThePlaceOfTheFileIsAnError) {
    const std::string path = root + "/adir.log";
    std::filesystem::create_directory(path);
    LogFileWriter writer;
    writer.SetPath(path);
    const auto result = writer.Append(kLineA, true);
    EXPECT_EQ(result.status, LogFileWriter::Status::IoError);
    EXPECT_NE(result.error.find(path), std::string::npos);
    EXPECT_TRUE(writer.FirstWrite());
}

TEST_F(LogFileWriterTest, AFifoIsNotWrittenTo) {
    const std::string path = root + "/pipe.log";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    LogFileWriter writer;
    writer.SetPath(path);
    EXPECT_EQ(writer.Append(kLineA, true).status, LogFileWriter::Status::IoError);
}

TEST_F(LogFileWriterTest, AnUncreatableFolderIsAnError) {
    if (RunningAsRoot()) GTEST_SKIP() << "permissions do not bind root";
    const std::string locked = root + "/locked";
    std::filesystem::create_directory(locked);
    ::chmod(locked.c_str(), 0500);
    LogFileWriter writer;
    writer.SetPath(locked + "/sub/log1.log");
    const auto result = writer.Append(kLineA, true);
    ::chmod(locked.c_str(), 0700);
    EXPECT_EQ(result.status, LogFileWriter::Status::IoError);
    EXPECT_NE(result.error.find("folder"), std::string::npos);
}

// ---------------------------------------------------------------- loader

class LogFileLoadTest : public logtest::LogTest {};

TEST_F(LogFileLoadTest, ReadsEveryEntryInOrder) {
    const std::string path = root + "/a.log";
    WriteWholeFile(path, kMarkerLine + kLineA + kLineB);
    LogLoadResult result;
    const auto lines = LoadAll(path, result);
    ASSERT_TRUE(result.Ok()) << result.message;
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(result.loaded, 2u);
    EXPECT_EQ(lines[0].file, "/a");
    EXPECT_EQ(lines[1].code, 32864);
    EXPECT_EQ(lines[1].detail, "550 denied");
    EXPECT_TRUE(result.message.empty());
}

TEST_F(LogFileLoadTest, MarkerOnlyAndMarkerWithoutNewline) {
    const std::string path = root + "/a.log";
    for (const std::string& text : {kMarkerLine, std::string("FTP_SERVER_FILE")}) {
        WriteWholeFile(path, text);
        LogLoadResult result;
        EXPECT_TRUE(LoadAll(path, result).empty());
        EXPECT_TRUE(result.Ok()) << result.message;
        EXPECT_FALSE(result.unterminatedTail);
    }
}

TEST_F(LogFileLoadTest, ForeignAndEmptyFilesAreNotLogFiles) {
    const std::string path = root + "/a.log";
    for (const std::string& text : {std::string(), std::string("hello\n") + kLineA, std::string("FTP_SERVER\n"),
                                   std::string("ftp_server_file\n") + kLineA}) {
        WriteWholeFile(path, text);
        LogLoadResult result;
        EXPECT_TRUE(LoadAll(path, result).empty());
        EXPECT_EQ(result.status, LogLoadResult::Status::NotALogFile) << text;
        EXPECT_NE(result.message.find("not a log file"), std::string::npos);
    }
}

TEST_F(LogFileLoadTest, MalformedLinesAreSkippedAndCounted) {
    const std::string path = root + "/a.log";
    WriteWholeFile(path, kMarkerLine + kLineA + "garbage\n" + "\n" + "123\tx\n" + kLineB + "half a li");
    LogLoadResult result;
    const auto lines = LoadAll(path, result);
    ASSERT_TRUE(result.Ok());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].file, "/a");
    EXPECT_EQ(lines[1].file, "/b");
    EXPECT_EQ(result.malformed, 2u);
    EXPECT_EQ(result.firstBadLine, 3u);
    EXPECT_TRUE(result.unterminatedTail);
    EXPECT_NE(result.message.find("2 lines"), std::string::npos);
    EXPECT_NE(result.message.find("line 3"), std::string::npos);
    EXPECT_NE(result.message.find("incomplete last line"), std::string::npos);
}

TEST_F(LogFileLoadTest, OverlongLinesAreSkippedWithoutStoppingTheLoad) {
    const std::string path = root + "/a.log";
    const std::string longLine = "32863\t" + std::string(5000, 'x') + "\n";
    WriteWholeFile(path, kMarkerLine + kLineA + longLine + kLineB);
    LogLoadLimits limits;
    limits.maxLineBytes = 1024;
    LogLoadResult result;
    const auto lines = LoadAll(path, result, limits);
    ASSERT_TRUE(result.Ok());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].file, "/b");
    EXPECT_EQ(result.overlong, 1u);
    EXPECT_EQ(result.firstBadLine, 3u);
}

TEST_F(LogFileLoadTest, LinesAcrossReadChunksStayWhole) {
    // Lines of varying length so that many of them straddle the reader's
    // 64 KiB chunks.
    const std::string path = root + "/a.log";
    std::string text = kMarkerLine;
    const int count = 3000;
    for (int i = 0; i < count; ++i) {
        text += "32863\tt\td\ts\tde\tfile" + std::to_string(i) + "\t" + std::string(static_cast<std::size_t>(i % 97), 'd') + "\n";
    }
    WriteWholeFile(path, text);
    LogLoadResult result;
    const auto lines = LoadAll(path, result);
    ASSERT_TRUE(result.Ok());
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(lines[static_cast<std::size_t>(i)].file, "file" + std::to_string(i));
        ASSERT_EQ(lines[static_cast<std::size_t>(i)].detail.size(), static_cast<std::size_t>(i % 97));
    }
}

TEST_F(LogFileLoadTest, HugeFilesAreRefusedWithAClearMessage) {
    const std::string path = root + "/a.log";
    WriteWholeFile(path, kMarkerLine + kLineA + kLineB + kLineA);
    LogLoadLimits bytes;
    bytes.maxFileBytes = 40;
    LogLoadResult result;
    EXPECT_TRUE(LoadAll(path, result, bytes).empty());
    EXPECT_EQ(result.status, LogLoadResult::Status::TooLarge);
    EXPECT_NE(result.message.find("too large"), std::string::npos);

    LogLoadLimits entries;
    entries.maxEntries = 2;
    LoadAll(path, result, entries);
    EXPECT_EQ(result.status, LogLoadResult::Status::TooLarge);
    EXPECT_NE(result.message.find("more than 2 entries"), std::string::npos);
}

TEST_F(LogFileLoadTest, MissingFolderAndUnreadableFiles) {
    LogLoadResult result;
    LoadAll(root + "/missing.log", result);
    EXPECT_EQ(result.status, LogLoadResult::Status::Unreadable);
    EXPECT_NE(result.message.find("missing.log"), std::string::npos);

    LoadAll(root, result);  // a folder
    EXPECT_EQ(result.status, LogLoadResult::Status::Unreadable);

    if (!RunningAsRoot()) {
        const std::string path = root + "/secret.log";
        WriteWholeFile(path, kMarkerLine + kLineA);
        ::chmod(path.c_str(), 0);
        LoadAll(path, result);
        EXPECT_EQ(result.status, LogLoadResult::Status::Unreadable);
    }
}

TEST_F(LogFileLoadTest, HundredThousandLines) {
    const std::string path = root + "/big.log";
    std::string text = kMarkerLine;
    text.reserve(100000 * 64);
    for (int i = 0; i < 100000; ++i) text += "32863\t10:00\t01/02/2024\tLocal Machine\thost\t/f" + std::to_string(i) + "\t-\n";
    WriteWholeFile(path, text);
    LogLoadResult result;
    std::size_t count = 0;
    std::string last;
    result = ReadLogFile(path, {}, [&](LogLineFields&& f) {
        ++count;
        last = std::move(f.file);
    });
    ASSERT_TRUE(result.Ok());
    EXPECT_EQ(count, 100000u);
    EXPECT_EQ(last, "/f99999");
}

// ---------------------------------------------------------------- saver

class LogFileSaveTest : public logtest::LogTest {};

TEST_F(LogFileSaveTest, WritesMarkerAndLinesAndLoadsBack) {
    LogEntry a;
    a.code = 32863;
    a.time = "10:00";
    a.date = "01/02/2024";
    a.source = "Local Machine";
    a.destination = "host";
    a.file = "/a";
    a.detail = "-";
    LogEntry b = a;
    b.code = 32864;
    b.file = "/b\tc";           // a TAB must not add a field
    b.detail = "line1\nline2";  // nor a line break a line
    const std::string path = root + "/saved.log";
    const auto saved = SaveLogFile(path, {a, b});
    ASSERT_TRUE(saved.ok) << saved.message;
    EXPECT_EQ(ReadWholeFile(path), kMarkerLine + kLineA + "32864\t10:00\t01/02/2024\tLocal Machine\thost\t/b c\tline1 line2\n");

    LogLoadResult result;
    const auto lines = LoadAll(path, result);
    ASSERT_TRUE(result.Ok());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].file, "/b c");
    EXPECT_EQ(lines[1].detail, "line1 line2");
}

TEST_F(LogFileSaveTest, ReplacesAnExistingFileAndLeavesNoTemporaryFiles) {
    const std::string path = root + "/saved.log";
    WriteWholeFile(path, "old content\n");
    ASSERT_TRUE(SaveLogFile(path, {}).ok);
    EXPECT_EQ(ReadWholeFile(path), kMarkerLine);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& item : std::filesystem::directory_iterator(root)) ++files;
    EXPECT_EQ(files, 1u);  // only saved.log
}

TEST_F(LogFileSaveTest, AFailedSaveLeavesTheOldFile) {
    if (RunningAsRoot()) GTEST_SKIP() << "permissions do not bind root";
    const std::string folder = root + "/ro";
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/saved.log";
    WriteWholeFile(path, "keep me\n");
    ::chmod(folder.c_str(), 0500);
    const auto saved = SaveLogFile(path, {});
    ::chmod(folder.c_str(), 0700);
    EXPECT_FALSE(saved.ok);
    EXPECT_NE(saved.message.find("saved.log"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(path), "keep me\n");
}

}  // namespace
}  // namespace zyfar
