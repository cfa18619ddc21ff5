#pragma once
// The views a screen's panes show, and what the main window asks of them.
// The local and remote browsing views come with browsing; until then their
// panes are lists and trees with their columns. The Multiple FTP Put panes
// already hold sites (the site list) and files (the file list), so the
// profile bar, links and files dropped from the desktop fill them.
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/MainScreen.h"
#include "engine/TransferJob.h"
#include "profiles/FileList.h"
#include "views/TextRowsModel.h"
#include "views/ZyfarTree.h"
#include "views/ZyfarView.h"

namespace zyfar {

class CommandTable;

enum class Side { Left, Right };

[[nodiscard]] QWidget* MakePane(PaneKind kind, Side side, QWidget* parent, CommandTable& commands);
// The log view at the bottom of the window, with its context menu.
[[nodiscard]] QWidget* MakeLogPane(QWidget* parent, CommandTable& commands);

// The site list of the Multiple FTP Put screen: host, login, "****", folder.
class SiteListPane : public CZyfarView {
    Q_OBJECT
public:
    explicit SiteListPane(QWidget* parent = nullptr);
    // Adds the site unless one with the same host, login, folder and port is there.
    bool AddSite(const CTransferSite& site);
    [[nodiscard]] std::vector<CTransferSite> Sites() const;

private:
    TextRowsModel* rows_;
};

// The file list of the Multiple FTP Put screen.
class FileListPane : public CZyfarView {
    Q_OBJECT
public:
    explicit FileListPane(QWidget* parent = nullptr);
    // Adds the items not yet there (same folder and name); answers how many.
    int AddItems(const std::vector<FileListItem>& items);
    [[nodiscard]] std::vector<FileListItem> Items() const;

private:
    TextRowsModel* rows_;
};

// The profile bar's choices on the Multiple FTP Put screen.
void AddSiteProfileToPane(const QString& profilePath, QWidget* siteList);
void LoadFileListIntoPane(const QString& listFolder, QWidget* fileList, QWidget* dialogParent);
// A link: append or replace the sites, then the files (each list asked once).
void LoadLinkIntoPanes(const QString& linkFile, QWidget* siteList, QWidget* fileList, QWidget* dialogParent);
// A remote tree connects with a site profile.
void ConnectPaneWithProfile(QWidget* remoteTree, const QString& profilePath);
// Each half's tree is told its list; on the browsing screens the two lists
// are each other's opposite (FTP Put targets, FTP Get sources).
void WirePanes(QWidget* leftFirst, QWidget* leftList, QWidget* rightFirst, QWidget* rightList);
// A pane's short notes (a refused operation, a dropped folder left out) go to `show`.
void ForwardStatusMessages(QWidget* pane, QObject* receiver, const std::function<void(const QString&)>& show);
// Dropped desktop files into the right-hand list; answers the number added.
int AddDroppedFilesToPane(const std::vector<std::string>& paths, QWidget* list);

}  // namespace zyfar
