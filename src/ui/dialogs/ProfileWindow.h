#pragma once
// The profile window ("Zyfar Profiles"): the tree of profile folders below
// ProfilesFolder(), the site profiles of the selected folder and the site
// form, side by side in the splitter "Profile\split1"; its rectangle lives in
// "Dimensions\Profile\Mainframe" (20,20 400 x 400 until one was stored).
//
// The window is tied to a target: the first pane of the main window's right
// half when it was opened (a remote tree, or the Multiple Put site list).
// "Select item" (1147) connects the remote tree with the one selected
// profile, or adds the selected profiles to the site list; "Select Tree Item"
// (1153) adds every profile of the folder to the site list. Profiles dragged
// onto a remote tree connect it; onto a site list they are added
// (AddSiteProfileToPane); onto a folder of the tree they move there.
//
// Every file change goes through the core, which keeps the link files in
// step in the same call; the signals tell the main window what the profile
// bar must follow.
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "app/Commands.h"
#include "views/ZyfarDrag.h"

class QAction;
class QMenu;

namespace zyfar {

class CDiskFolderTree;
class CProfView;
class PaneSplitter;
class ProfileSiteForm;

// The profile window's own commands (menu 172); the folder commands are
// cmd::NewItem, cmd::RenameItem and cmd::DeleteItem.
namespace profcmd {
inline constexpr int ImportSites = 1142;
inline constexpr int NewSite = 1143;
inline constexpr int UpdateSite = 1144;
inline constexpr int DeleteSite = 1145;
inline constexpr int RenameSite = 1146;
inline constexpr int SelectItem = 1147;
inline constexpr int CloseScreen = 1151;
inline constexpr int SelectTreeItem = 1153;
}  // namespace profcmd

class CProfile : public QMainWindow, public CommandTarget {
    Q_OBJECT
public:
    // `target`: the remote tree or site list the window feeds (may be null).
    explicit CProfile(QWidget* target = nullptr, QWidget* parent = nullptr);
    ~CProfile() override;

    // The one profile window: made and shown when there is none (it deletes
    // itself when closed), else raised; either way tied to `target`.
    // `created` tells whether it is new (connect its signals then).
    static CProfile* Open(QWidget* target, bool* created = nullptr);
    [[nodiscard]] static CProfile* Instance();

    void SetTarget(QWidget* target) { target_ = target; }
    [[nodiscard]] QWidget* Target() const { return target_; }

    [[nodiscard]] CDiskFolderTree* Tree() const { return tree_; }
    [[nodiscard]] CProfView* List() const { return list_; }
    [[nodiscard]] ProfileSiteForm* Form() const { return form_; }
    [[nodiscard]] PaneSplitter* Splitter() const { return splitter_; }
    [[nodiscard]] QAction* ActionOf(int id) const;
    // The folder whose profiles the list shows.
    [[nodiscard]] QString SelectedFolder() const;

    // ---- commands ----
    bool HandleCommand(int id) override;
    [[nodiscard]] std::optional<CommandState> CommandStateOf(int id) const override;
    void NewSite();
    void UpdateSite();   // the one selected profile into the form
    bool SaveForm();     // OK of the form
    void CancelForm();
    void DeleteSites();
    void RenameSite();
    void SelectItems();
    void SelectTreeItem();
    void ImportSites();
    // Moves profile files into a folder of the tree; the links follow.
    int MoveProfiles(const QStringList& paths, const QString& folder);

    // Restores the rectangle and the splitter (after show).
    void RestoreLayout();
    void SaveLayout() const;

signals:
    void siteProfileCreated(const QString& name, const QString& path);
    // Renamed or moved (the link files already name the new path).
    void siteProfileRenamed(const QString& oldPath, const QString& newPath);
    void siteProfileDeleted(const QString& path);
    void profileFolderCreated(const QString& path);
    void profileFolderRenamed(const QString& oldPath, const QString& newPath);
    void profileFolderDeleted(const QString& path);
    // Link files deleted with a profile or folder (for the links combo).
    void linksDropped(const QStringList& names);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenu();
    void UpdateActionStates();
    void SetFormMode(bool editing);
    void OnProfilesDropped(const QStringList& paths, const DropInfo& info);
    void ShowResult(int messageId, const QString& text);

    CDiskFolderTree* tree_;
    CProfView* list_;
    ProfileSiteForm* form_;
    PaneSplitter* splitter_;
    QPointer<QWidget> target_;
    QString editPath_;  // the profile the form updates
    QHash<int, QAction*> actions_;
    QMenu* treeMenu_ = nullptr;
    QMenu* listMenu_ = nullptr;
};

}  // namespace zyfar
