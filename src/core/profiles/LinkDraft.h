#pragma once
// The link being put together in the links dialog: the sites list (one entry
// per site profile, shown by its host) and the files list (the local paths of
// the chosen file list), with the rules that keep them free of duplicates.
//
//  - A site profile is added unless the list already holds a site with the
//    same host (whole host, without regard to case: "ftp.example.com" and
//    "FTP.Example.com" are one server, "server1" and "server10" are two).
//    A profile that names no host (missing, unreadable or empty) is not
//    added: a link to it could never send anything.
//  - Choosing a file list replaces the files list with that list's local
//    paths, each once (paths compare exactly: on this system "a.txt" and
//    "A.txt" are two files).
//  - Loading a link shows every site it names as it is (a profile that is
//    gone shows an empty host), the files of the list its Files key names,
//    and which of the known file lists that is (a list that is not among
//    them stays the link's list, so saving again keeps naming it).
#include "profiles/LinkFile.h"
#include "profiles/ProfileNames.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zyfar {

struct LinkDraftSite {
    std::string host;         // the profile's Host ("" when the profile is gone)
    std::string profilePath;  // the site profile file

    bool operator==(const LinkDraftSite&) const = default;
};

enum class SiteAddOutcome {
    Added,
    SameHost,  // a site with that host is in the list already
    NoHost,    // the profile names no host (or does not exist)
};

// Which of `lists` (file-list folders) a link's Files value names: the one
// whose "<folder>/flist.ini" equals it exactly, else the only one that
// equals it without regard to case; nothing when none does or when the
// case-blind match is not unique.
[[nodiscard]] std::optional<std::size_t> FindFileListOf(const std::vector<NamedPath>& lists, std::string_view files);

class LinkDraft {
public:
    // Empties both lists and forgets the file list.
    void Clear();

    // Replaces everything with what the link file holds. `knownLists` are
    // the file lists the dialog offers; `chosenList` gets the index of the
    // one the link names (see FindFileListOf), nothing when none.
    void LoadLink(const std::string& linkFile, const std::vector<NamedPath>& knownLists,
                  std::optional<std::size_t>* chosenList = nullptr);

    // Adds a site profile (see above).
    SiteAddOutcome AddSiteProfile(const std::string& profilePath);

    // Removes the site at `index` (out of range: nothing). True when removed.
    bool RemoveSite(std::size_t index);

    // Replaces the files list with the list in `listFolder` and remembers it
    // as the link's file list. Returns how many paths it holds.
    std::size_t ChooseFileList(const std::string& listFolder);

    [[nodiscard]] const std::vector<LinkDraftSite>& Sites() const { return sites_; }
    [[nodiscard]] const std::vector<std::string>& Files() const { return files_; }
    // The chosen file-list folder; nothing when none was chosen.
    [[nodiscard]] const std::optional<std::string>& FileListFolder() const { return listFolder_; }

    // "Add": writes the link (AddLink: 311, 312, 313 before anything is
    // written). `savedName` gets the name it was saved under.
    [[nodiscard]] ProfileResult Save(std::string_view typedName, std::string* savedName = nullptr) const;

private:
    void FillFiles(const std::string& flistIni);

    std::vector<LinkDraftSite> sites_;
    std::vector<std::string> files_;
    std::optional<std::string> listFolder_;
};

}  // namespace zyfar
