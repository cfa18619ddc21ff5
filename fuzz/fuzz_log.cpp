// The transfer log loader. The input is a log file; it is loaded with the
// usual limits and with tight ones. A file that begins with the marker loads
// (or is too large), any other file is refused; with the usual limits the
// entries handed out are exactly the complete lines that the line parser
// reads as entries; every entry holds a log event code and fields without
// TAB or line ends, and comes back the same through the line writer.
#include <string>
#include <vector>

#include <unistd.h>

#include "FuzzCheck.h"
#include "log/LogFile.h"
#include "log/LogFormats.h"

namespace {

using zyfar::LogLineFields;

bool Same(const LogLineFields& a, const LogLineFields& b) {
    return a.code == b.code && a.time == b.time && a.date == b.date && a.source == b.source &&
           a.destination == b.destination && a.file == b.file && a.detail == b.detail;
}

void CheckFields(const LogLineFields& f) {
    FUZZ_CHECK(zyfar::IsLogEventCode(f.code));
    for (const std::string* s : {&f.time, &f.date, &f.source, &f.destination, &f.file, &f.detail})
        FUZZ_CHECK(s->find_first_of("\t\n") == std::string::npos);
    // What the writer makes of the fields reads back as those fields.
    zyfar::LogEntry e;
    e.code = f.code;
    e.time = zyfar::CleanLogField(f.time);
    e.date = zyfar::CleanLogField(f.date);
    e.source = zyfar::CleanLogField(f.source);
    e.destination = zyfar::CleanLogField(f.destination);
    e.file = zyfar::CleanLogField(f.file);
    e.detail = zyfar::CleanLogField(f.detail);
    std::string line = zyfar::FormatLogLine(e);
    FUZZ_CHECK(!line.empty() && line.back() == '\n');
    line.pop_back();
    const auto back = zyfar::ParseLogLine(line);
    FUZZ_CHECK(back.has_value());
    FUZZ_CHECK(Same(*back, LogLineFields{e.code, e.time, e.date, e.source, e.destination, e.file, e.detail}));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = zyfar::fuzz::AsText(data, size);
    const std::string& path = zyfar::fuzz::ScratchFile(text);
    const bool marked = text.substr(0, zyfar::kLogFileMarker.size()) == zyfar::kLogFileMarker;

    // The complete lines after the first, as the line parser reads them.
    std::vector<LogLineFields> expected;
    for (std::size_t pos = text.find('\n'); pos != std::string_view::npos;) {
        const std::size_t next = text.find('\n', pos + 1);
        if (next == std::string_view::npos) break;
        const std::string_view line = text.substr(pos + 1, next - pos - 1);
        if (auto f = zyfar::ParseLogLine(line)) expected.push_back(std::move(*f));
        pos = next;
    }

    std::vector<LogLineFields> got;
    const zyfar::LogLoadResult usual =
        zyfar::ReadLogFile(path, zyfar::LogLoadLimits{}, [&](LogLineFields&& f) { got.push_back(std::move(f)); });
    FUZZ_CHECK(usual.Ok() == marked);
    if (usual.Ok()) {
        FUZZ_CHECK(usual.loaded == got.size() && got.size() == expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) FUZZ_CHECK(Same(got[i], expected[i]));
        for (const LogLineFields& f : got) CheckFields(f);
    } else {
        FUZZ_CHECK(usual.status == zyfar::LogLoadResult::Status::NotALogFile && !usual.message.empty());
    }

    zyfar::LogLoadLimits tight;
    tight.maxLineBytes = 24;
    tight.maxEntries = 4;
    std::size_t count = 0;
    const zyfar::LogLoadResult small = zyfar::ReadLogFile(path, tight, [&](LogLineFields&& f) {
        CheckFields(f);
        ++count;
    });
    FUZZ_CHECK(small.status != zyfar::LogLoadResult::Status::Unreadable);
    if (small.Ok()) FUZZ_CHECK(small.loaded == count && count <= tight.maxEntries);
    ::unlink(path.c_str());
    return 0;
}
