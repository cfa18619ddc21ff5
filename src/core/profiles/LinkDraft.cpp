#include "profiles/LinkDraft.h"

#include "platform/TextUtil.h"
#include "profiles/FileList.h"
#include "profiles/SiteProfile.h"

#include <algorithm>
#include <unordered_set>

namespace zyfar {

std::optional<std::size_t> FindFileListOf(const std::vector<NamedPath>& lists, std::string_view files) {
    if (files.empty()) return std::nullopt;
    std::optional<std::size_t> caseBlind;
    int caseBlindCount = 0;
    for (std::size_t i = 0; i < lists.size(); ++i) {
        const std::string ini = FileListIniPath(lists[i].path);
        if (ini == files) return i;
        if (EqualsNoCase(ini, files)) {
            caseBlind = i;
            ++caseBlindCount;
        }
    }
    if (caseBlindCount == 1) return caseBlind;
    return std::nullopt;
}

void LinkDraft::Clear() {
    sites_.clear();
    files_.clear();
    listFolder_.reset();
}

void LinkDraft::LoadLink(const std::string& linkFile, const std::vector<NamedPath>& knownLists,
                         std::optional<std::size_t>* chosenList) {
    Clear();
    const LinkDefinition link = ReadLinkFile(linkFile);
    sites_.reserve(link.sites.size());
    for (const std::string& site : link.sites) sites_.push_back({ReadSiteProfile(site).host, site});
    std::optional<std::size_t> chosen;
    if (link.files) {
        FillFiles(*link.files);
        chosen = FindFileListOf(knownLists, *link.files);
        if (chosen) {
            listFolder_ = knownLists[*chosen].path;
        } else if (EndsWithNoCase(*link.files, std::string("/") + kFileListFileName)) {
            // A list the dialog does not offer: saving again keeps naming it.
            listFolder_ = ParentFolderOf(*link.files);
        }
    }
    if (chosenList) *chosenList = chosen;
}

SiteAddOutcome LinkDraft::AddSiteProfile(const std::string& profilePath) {
    const std::string host = ReadSiteProfile(profilePath).host;
    if (host.empty()) return SiteAddOutcome::NoHost;
    const bool known = std::any_of(sites_.begin(), sites_.end(),
                                   [&](const LinkDraftSite& s) { return EqualsNoCase(s.host, host); });
    if (known) return SiteAddOutcome::SameHost;
    sites_.push_back({host, profilePath});
    return SiteAddOutcome::Added;
}

bool LinkDraft::RemoveSite(std::size_t index) {
    if (index >= sites_.size()) return false;
    sites_.erase(sites_.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

std::size_t LinkDraft::ChooseFileList(const std::string& listFolder) {
    listFolder_ = listFolder;
    FillFiles(FileListIniPath(listFolder));
    return files_.size();
}

void LinkDraft::FillFiles(const std::string& flistIni) {
    files_.clear();
    std::unordered_set<std::string> seen;
    for (const FileListItem& item : LoadFileListFile(flistIni)) {
        std::string path = FileListLocalPath(item);
        if (seen.insert(path).second) files_.push_back(std::move(path));
    }
}

ProfileResult LinkDraft::Save(std::string_view typedName, std::string* savedName) const {
    std::vector<std::string> paths;
    paths.reserve(sites_.size());
    for (const LinkDraftSite& s : sites_) paths.push_back(s.profilePath);
    return AddLink(typedName, paths, files_.size(), listFolder_, savedName);
}

}  // namespace zyfar
