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
#include "automation/MultiPut.h"
#include "views/TextRowsModel.h"
#include "views/ZyfarTree.h"
#include "views/ZyfarView.h"

namespace zyfar {

class CommandTable;

enum class Side { Left, Right };

[[nodiscard]] QWidget* MakePane(PaneKind kind, Side side, QWidget* parent, CommandTable& commands);
// The log view at the bottom of the window, with its context menu.
[[nodiscard]] QWidget* MakeLogPane(QWidget* parent, CommandTable& commands);

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

// Send Parallel (1133, parallel) and Send Serial (1134) of the Multiple FTP
// Put screen: the site list and the files view of the screen. With no site
// "No target FTP sites have been selected", with no file 203 "No files to
// FTP!" (stop icon), and nothing is sent. Otherwise the "Sorting files ..."
// wait window shows while the job list is built, and the runs go to
// `starter` (the GUI's opens one transfer window per run, 200 ms apart).
// Panes that are not these two views send nothing (NoSites).
MultiPutResult SendFromScreen(QWidget* siteList, QWidget* fileList, bool parallel, TransferRunStarter& starter);
// Leaving the screen (a switch, closing the window): a changed file list
// that came from a list folder asks 33053, Yes saves it.
void AskToSaveFileList(QWidget* fileList);

}  // namespace zyfar
