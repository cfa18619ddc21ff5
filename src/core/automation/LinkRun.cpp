#include "automation/LinkRun.h"

#include <sys/stat.h>

#include "profiles/FileList.h"
#include "profiles/LinkFile.h"
#include "profiles/ProfileNames.h"
#include "platform/UiHost.h"
#include "profiles/SiteProfile.h"
#include "settings/IniFile.h"

namespace zyfar {
namespace {

void ReadFiles(const LinkDefinition& link, LinkRunPlan& plan) {
    if (!link.files || link.files->empty()) {
        plan.problems.push_back("The link names no file list.");
        return;
    }
    plan.fileList = *link.files;
    if (!IsRegularFile(plan.fileList)) {
        plan.problems.push_back("The file list " + plan.fileList + " does not exist.");
        return;
    }
    const std::vector<FileListItem> items = LoadFileListFile(plan.fileList);
    const int stated = GetPrivateProfileInt(kListSection, kListNumItemsKey, 0, plan.fileList);
    if (items.empty()) {
        plan.problems.push_back("The file list " + plan.fileList + " lists no files.");
        return;
    }
    if (stated > 0 && static_cast<std::size_t>(stated) > items.size()) {
        plan.problems.push_back("The file list " + plan.fileList + " says it lists " + std::to_string(stated) +
                                " files, but only " + std::to_string(items.size()) + " of them can be read.");
    }
    const FileCasing casing = FileCasingForPut();
    for (const FileListItem& item : items) {
        const std::string path = FileListLocalPath(item);
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            plan.problems.push_back("The file " + path + " does not exist and is not sent.");
            continue;
        }
        if (!S_ISREG(st.st_mode)) {
            plan.problems.push_back(path + " is not a file and is not sent.");
            continue;
        }
        CTransferJob job;
        job.localDir = item.folder;
        job.sourceName = item.localName;
        job.targetName = ApplyFileCasing(item.remoteName, casing);
        job.size = static_cast<std::int64_t>(st.st_size);
        const auto seconds = static_cast<std::uint64_t>(st.st_mtime < 0 ? 0 : st.st_mtime);
        job.timeLow = static_cast<std::uint32_t>(seconds & 0xFFFFFFFFu);
        job.timeHigh = static_cast<std::uint32_t>(seconds >> 32);
        plan.jobs.push_back(std::move(job));
    }
    plan.batchSize = BatchSizeOf(plan.jobs);
}

void ReadSites(const LinkDefinition& link, LinkRunPlan& plan) {
    if (link.sites.empty()) {
        plan.problems.push_back("The link names no site profiles.");
        return;
    }
    for (std::size_t i = 0; i < link.sites.size(); ++i) {
        const std::string& path = link.sites[i];
        const std::string section = LinkSiteSection(static_cast<int>(i + 1));
        if (path.empty()) {
            plan.problems.push_back("Section " + section + " of the link names no site profile.");
            continue;
        }
        if (!IsRegularFile(path)) {
            plan.problems.push_back("The site profile " + path + " does not exist; nothing is sent there.");
            continue;
        }
        const SiteProfile profile = ReadSiteProfile(path);
        if (profile.host.empty()) {
            plan.problems.push_back("The site profile " + path + " names no host; nothing is sent there.");
            continue;
        }
        TransferServer server;
        server.host = profile.host;
        server.login = profile.user;
        server.password = profile.password;
        server.remoteDir = profile.remotePath;
        server.port = static_cast<std::uint16_t>(SiteProfilePort(profile));
        server.encryption = SiteProfileEncryption(profile);
        plan.servers.push_back(std::move(server));
        plan.siteNames.push_back(profile.host);
    }
}

}  // namespace

LinkRunPlan PlanLinkRun(std::string_view linkName) {
    LinkRunPlan plan;
    plan.linkFile = LinkFilePath(linkName);
    if (plan.linkFile.empty() || !IsRegularFile(plan.linkFile)) return plan;
    plan.found = true;
    const LinkDefinition link = ReadLinkFile(plan.linkFile);
    ReadFiles(link, plan);
    ReadSites(link, plan);
    return plan;
}

LinkRunResult StartLinkRuns(const LinkRunPlan& plan, TransferRunStarter& starter) {
    LinkRunResult result;
    result.found = plan.found;
    result.problems = plan.problems;
    if (!plan.CanRun()) return result;
    result.runsStarted = StartParallelRuns(plan.servers, plan.jobs, plan.batchSize, starter);
    return result;
}

LinkRunResult RunLink(std::string_view linkName, TransferRunStarter& starter) {
    return StartLinkRuns(PlanLinkRun(linkName), starter);
}

LinkRunResult RunCommandLineLink(std::string_view linkName, TransferRunStarter& starter) {
    return StartCommandLineLink(PlanLinkRun(linkName), starter);
}

LinkRunResult StartCommandLineLink(const LinkRunPlan& plan, TransferRunStarter& starter) {
    if (!plan.found) {
        LinkRunResult result;
        result.problems = plan.problems;
        return result;
    }
    if (!plan.CanRun()) {
        // Nothing will ever end, so nothing would end the program: end it now.
        SetPendingLinkTransfers(0);
        Ui().RequestQuit();
        return StartLinkRuns(plan, starter);
    }
    // Counted before the first start: a run that ends at once counts down
    // from the full number.
    SetPendingLinkTransfers(static_cast<int>(plan.servers.size()));
    return StartLinkRuns(plan, starter);
}

}  // namespace zyfar
