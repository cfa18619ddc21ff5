#include "engine/LocalBrowse.h"

#include <cstdio>
#include <iterator>
#include <sstream>

#include "ftp/NameMask.h"
#include "log/LogFormats.h"
#include "platform/TextUtil.h"

namespace zyfar {

std::string ModifiedText(const LocalDateTime& time, DateStyle style) {
    char date[48];
    const std::string month = ShortMonthName(time.month);
    switch (style) {
        case DateStyle::DayMonth:
            std::snprintf(date, sizeof date, "%.2d/%.2d/", time.day, time.month);
            break;
        case DateStyle::MonNameDay:
            std::snprintf(date, sizeof date, "%s/%.2d/", month.c_str(), time.day);
            break;
        case DateStyle::DayMonName:
            std::snprintf(date, sizeof date, "%.2d/%s/", time.day, month.c_str());
            break;
        case DateStyle::MonthDay:
            std::snprintf(date, sizeof date, "%.2d/%.2d/", time.month, time.day);
            break;
    }
    char rest[48];
    std::snprintf(rest, sizeof rest, "%.4d  %.2d:%.2d", time.year, time.hour, time.minute);
    return std::string(date) + rest;
}

std::string ModifiedText(const LocalDateTime& time, const std::string& timeType) {
    return ModifiedText(time, ParseDateStyle(timeType).value_or(DateStyle::MonthDay));
}

std::optional<std::string> ExtensionOfPath(std::string_view path) {
    const std::size_t dot = path.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    return std::string(path.substr(dot + 1));
}

std::optional<std::string> ExtProgramFor(std::string_view fullPath, const std::vector<std::string>& entries) {
    const std::optional<std::string> extension = ExtensionOfPath(fullPath);
    if (!extension) return std::nullopt;
    for (const std::string& entry : entries) {
        std::istringstream words(entry);
        std::string ext, program;
        if (!(words >> ext >> program)) continue;
        if (ext.substr(0, 3) == extension->substr(0, 3)) return program;
    }
    return std::nullopt;
}

std::vector<std::string> ReadExtEntries() {
    std::vector<std::string> entries;
    for (int i = 0; i < kMaxExtEntries; ++i) {
        std::optional<std::string> value = ReadIfPresent(keys::ExtN, i);
        if (!value) break;
        entries.push_back(std::move(*value));
    }
    return entries;
}

bool MatchesLocalMask(std::string_view name, std::string_view mask) {
    return mask == "*.*" || MatchesMask(name, mask);
}

std::vector<std::size_t> RowsMatchingMask(std::span<const LocalEntry> rows, std::string_view mask) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].isFolder && MatchesLocalMask(rows[i].name, mask)) out.push_back(i);
    }
    return out;
}

std::vector<CTransferJob> BuildLocalPutJobs(const std::string& folder, std::span<const LocalEntry> rows,
                                            FileCasing casing) {
    std::vector<CTransferJob> jobs;
    for (const LocalEntry& row : rows) {
        if (!row.isFile) continue;
        CTransferJob job;
        job.localDir = folder;
        job.sourceName = row.name;
        job.targetName = ApplyFileCasing(row.name, casing);
        job.size = row.size;
        job.SetTime(row.modified);
        jobs.push_back(std::move(job));
    }
    return jobs;
}

namespace {

void AddFolderJobs(const std::string& folder, bool recursive, FileCasing casing, int depth, LocalFolderJobs& out) {
    const LocalListing listing = ListFolder(folder);
    if (!listing.ok()) {
        out.unreadable.push_back(listing.error);
        return;
    }
    std::vector<CTransferJob> jobs = BuildLocalPutJobs(folder, listing.entries, casing);
    out.jobs.insert(out.jobs.end(), std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end()));
    if (!recursive || depth >= kMaxPutDepth) return;
    for (const LocalEntry& entry : listing.entries) {
        if (!entry.isFolder || entry.isSymlink) continue;
        const std::string below = folder.ends_with('/') ? folder + entry.name : folder + "/" + entry.name;
        AddFolderJobs(below, recursive, casing, depth + 1, out);
    }
}

}  // namespace

LocalFolderJobs BuildLocalFolderPutJobs(const std::string& folder, bool recursive, FileCasing casing) {
    LocalFolderJobs out;
    AddFolderJobs(folder, recursive, casing, 0, out);
    return out;
}

}  // namespace zyfar
