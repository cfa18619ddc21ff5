#pragma once
// The file-list window (caption 350 "List of files Profiles"): the saved
// lists of files to send, and the disk to pick files from. Two rows by two
// columns: the drive tree and the file-list tree above, the local file list
// and the files view below. Files go from the local list (Send to the right
// side, dragging rows) or the desktop into the files view; a list is saved
// from the files view (1178) into its folder below the file-list folder.
//
// The file-list tree shows one folder per list (the root item "Files"):
// clicking a list shows it in the window's files view (after 33053 for a
// changed list), Select Tree Item (1153) loads it into the Multiple FTP Put
// screen's files view (33045 when another screen is shown), New / Rename /
// Delete (1154-1156) manage the folders with their link upkeep, and Import
// (1142) reads a ".fls" file of an earlier version (146 for a file that is
// not one, and then nothing changes).
//
// The window keeps its rectangle in "Dimensions\Files\Mainframe" and its
// splitter in "Dimensions\Files\split1"; closing a changed list asks 33053.
#include <QPointer>
#include <QWidget>
#include <functional>

#include "app/Commands.h"

class QSplitter;

namespace zyfar {

class CDiskFolderTree;
class CDirView;
class CDriveTree;
class CFilesView;

class CSite : public QWidget, public CommandTarget {
    Q_OBJECT
public:
    // The Multiple FTP Put screen's files view when that screen is shown,
    // else null.
    using ScreenFilesView = std::function<QWidget*()>;

    explicit CSite(ScreenFilesView screenFiles, QWidget* parent = nullptr);
    ~CSite() override;

    // The one window of the program (1159): made and shown on first use,
    // raised afterwards.
    static CSite* Open(ScreenFilesView screenFiles);
    [[nodiscard]] static CSite* Instance();

    [[nodiscard]] CDiskFolderTree* ListTree() const { return lists_; }
    [[nodiscard]] CFilesView* Files() const { return files_; }
    [[nodiscard]] CDirView* LocalFiles() const { return local_; }
    [[nodiscard]] CDriveTree* Drives() const { return drives_; }

    // Shows a list folder in the window's files view (after 33053 for a
    // changed list); the root of the tree shows an empty new list.
    void ShowList(const QString& listFolder);
    // Select Tree Item (1153): the current list into the screen's files view.
    bool SendListToScreen();
    // Import from a previous version (1142) of the ".fls" file `path`; with
    // an empty path the file is asked for. False when nothing was imported.
    bool ImportFileList(const QString& path = QString());

    // Restores the splitter from the settings (after the window is shown).
    void RestoreSplitter();
    void SaveLayout() const;

    bool HandleCommand(int id) override;
    [[nodiscard]] std::optional<CommandState> CommandStateOf(int id) const override;

signals:
    // For the profile bar and the links (the link files already follow).
    void fileListCreated(const QString& name, const QString& folder);
    void fileListRenamed(const QString& oldFolder, const QString& newFolder);
    void fileListDeleted(const QString& folder);
    void linksDropped(const QStringList& names);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    [[nodiscard]] QString CurrentListFolder() const;

    ScreenFilesView screenFiles_;
    CommandTable* commands_;
    QSplitter* rows_;
    QSplitter* top_;
    QSplitter* bottom_;
    CDriveTree* drives_;
    CDiskFolderTree* lists_;
    CDirView* local_;
    CFilesView* files_;
};

}  // namespace zyfar
