#pragma once
// The "Profile / File Links" dialog (316): makes, renames and deletes links,
// each tying site profiles to one file list under a name.
//
// The three combos are filled when the dialog opens: "Link" (1193) with the
// link files below Links, "Profiles" (1194) with the site profiles below
// Profiles, "File List" (1206) with the file-list folders below Files; each
// entry carries the full path of what it names. Choosing a link shows its
// sites (by host) and its files and selects its file list; choosing a
// profile adds its site unless that host is listed already; choosing a file
// list shows its files. Double-clicking a site removes it. The lists and
// their rules live in the core's LinkDraft; the link files are written by
// the core (AddLink, RenameLinkFile, DeleteLinkFile).
//
// Every change to the set of links is announced at once (linkAdded,
// linkRenamed, linkDeleted, with link file paths), so that the main window
// keeps its link list in the same step. Saving over an existing link changes
// no name and announces nothing.
#include <QDialog>
#include <QString>
#include <vector>

#include "profiles/LinkDraft.h"
#include "profiles/ProfileNames.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace zyfar {

class LinksDialog : public QDialog {
    Q_OBJECT
public:
    inline static const QString kTitle = QStringLiteral("Profile / File Links");

    explicit LinksDialog(QWidget* parent = nullptr);

    // The controls, for the main window's tests and black-box drivers (each
    // also has an accessible name).
    [[nodiscard]] QComboBox* LinkCombo() const { return links_; }
    [[nodiscard]] QComboBox* ProfileCombo() const { return profiles_; }
    [[nodiscard]] QComboBox* FileListCombo() const { return fileLists_; }
    [[nodiscard]] QLineEdit* NameEdit() const { return name_; }
    [[nodiscard]] QListWidget* SitesList() const { return sites_; }
    [[nodiscard]] QListWidget* FilesList() const { return files_; }
    [[nodiscard]] const LinkDraft& Draft() const { return draft_; }

    // What choosing an entry of a combo does (the combos call these when the
    // user picks an entry, the same entry again included).
    void ChooseLink(int index);
    void ChooseProfile(int index);
    void ChooseFileList(int index);
    // What double-clicking a site does.
    void RemoveSite(int row);

    // The buttons.
    void Add();
    void Rename();
    void Delete();
    void Reset();

signals:
    void linkAdded(const QString& linkFile);
    void linkRenamed(const QString& oldLinkFile, const QString& newLinkFile);
    void linkDeleted(const QString& linkFile);
    // The Help button: the links topic.
    void helpRequested();

private:
    void FillCombos();
    void ShowSites();
    void ShowFiles();
    void ClearLinkChoice();
    void UpdateButtons();
    void Report(const ProfileResult& result);
    [[nodiscard]] int LinkIndexOf(const QString& path) const;
    void InsertLink(const QString& name, const QString& path);

    LinkDraft draft_;
    std::vector<NamedPath> knownLists_;  // the "File List" combo's entries, in order

    QComboBox* links_;
    QComboBox* profiles_;
    QComboBox* fileLists_;
    QLineEdit* name_;
    QListWidget* sites_;
    QListWidget* files_;
    QPushButton* rename_;
};

}  // namespace zyfar
