#pragma once
// The file lists of the browsing screens (local list, remote lists) and the
// folder trees beside them.
//
// FileRowsModel holds one compact record per file of one folder (the folder
// itself is the model's, not each row's): the name as the disk or the server
// gave its bytes, size, times and a few flags. The four columns are "File"
// (with " (mask)" while a filter is set), "Size", "File Type" (the desktop's
// description of the file's type, looked up once per file-name suffix) and
// "Modified" (the TimeType text). Names that are not valid UTF-8, or that hold
// control characters, are shown escaped (\xNN) and keep their real bytes.
//
// CFileView is the list base the browsing lists derive from: it knows the
// list opposite it on the screen (where FTP Get results go and FTP Put
// sources come from) and what kind of list that is, and it turns itself into
// the refresh link a transfer run calls when it ends. CBrowseTree is the tree
// base of the drive tree and the remote trees.
#include <QHash>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/TransferRun.h"
#include "platform/LocalFs.h"
#include "settings/Keys.h"
#include "views/ZyfarTree.h"
#include "views/ZyfarView.h"

namespace zyfar {

// A name's bytes as display text: valid UTF-8 as it is, each byte of an
// invalid sequence and each control character as "\xNN" (a backslash itself
// stays a backslash).
[[nodiscard]] QString DisplayName(const std::string& bytes);

enum class FileRowKind : std::uint8_t { File, Folder, LinkFile, LinkFolder };

struct FileRow {
    std::string name;          // exactly as the disk or the server gave it
    std::string remoteName;    // the name to use on a server; empty: the name
    std::int64_t size = 0;     // bytes; -1 unknown
    std::int64_t modified = kNoTime;  // seconds since the epoch
    std::int64_t created = kNoTime;
    FileRowKind kind = FileRowKind::File;
    bool hidden = false;
    bool readOnly = false;
    bool sizeApproximate = false;
    mutable std::uint16_t type = 0;  // index into the model's type table; 0 not looked up yet

    [[nodiscard]] bool IsFolder() const { return kind == FileRowKind::Folder || kind == FileRowKind::LinkFolder; }
};

class FileRowsModel : public ZyfarListModel {
    Q_OBJECT
public:
    enum Column { ColName = 0, ColSize = 1, ColType = 2, ColModified = 3 };

    // utcTimes: the times are a server's wall-clock times (shown as they
    // are); else local file times (shown in local time).
    explicit FileRowsModel(bool utcTimes, QObject* parent = nullptr);

    // Replaces every row (one reset); the folder the rows are in.
    void SetRows(std::string folder, std::vector<FileRow> rows);
    // Appends rows (one insert).
    void AppendRecords(std::vector<FileRow> rows);
    [[nodiscard]] const std::string& Folder() const { return folder_; }
    [[nodiscard]] const FileRow& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    [[nodiscard]] const std::vector<FileRow>& Rows() const { return rows_; }
    // Changes one row's name (a rename done) and refreshes it.
    void RenameRow(int row, std::string name);
    // The first row with this exact name; -1 when none.
    [[nodiscard]] int FindName(const std::string& name) const;

    // The filter shown in the first heading: "File (mask)"; empty shows "File".
    void SetMaskHeading(const QString& mask);
    // The TimeType text of the "Modified" column (re-read after the settings change).
    void SetTimeType(const std::string& timeType);
    // The type text of a row ("Folder", "Symbolic Link" or the desktop's description).
    [[nodiscard]] QString TypeText(int row) const;

    [[nodiscard]] int ColumnCount() const override { return 4; }
    [[nodiscard]] QString HeaderText(int column) const override;
    [[nodiscard]] int RowCount() const override { return static_cast<int>(rows_.size()); }
    [[nodiscard]] QString CellText(int row, int column) const override;
    [[nodiscard]] QIcon RowIcon(int row) const override;
    [[nodiscard]] int CompareRows(int a, int b, int column) const override;
    bool SortKeys(int column, std::vector<std::string>& keys) const override;
    void PermuteRecords(const std::vector<int>& newOrder) override;
    void EraseRecords(int first, int count) override;

    // The "Modified" text of a time by the model's TimeType.
    [[nodiscard]] QString TimeText(std::int64_t seconds) const;

private:
    [[nodiscard]] std::uint16_t TypeIndex(const FileRow& row) const;

    bool utcTimes_;
    std::string folder_;
    std::vector<FileRow> rows_;
    QString mask_;
    DateStyle dateStyle_ = DateStyle::MonthDay;
    // The type table: index 0 unused; texts and icons by suffix.
    mutable std::vector<QString> typeTexts_;
    mutable std::vector<QIcon> typeIcons_;
    mutable QHash<QString, std::uint16_t> typeBySuffix_;
};

enum class FileListKind { Local, Remote };

class CBrowseTree;
class FileViewLink;

class CFileView : public CZyfarView {
    Q_OBJECT
public:
    CFileView(bool utcTimes, QWidget* parent = nullptr);

    [[nodiscard]] virtual FileListKind Kind() const = 0;
    [[nodiscard]] FileRowsModel* Files() const { return files_; }

    // The list opposite this one on the screen (null: none).
    void SetOpposite(CFileView* list) { opposite_ = list; }
    [[nodiscard]] CFileView* Opposite() const { return opposite_.data(); }
    // The tree beside this list.
    [[nodiscard]] virtual CBrowseTree* BrowseTree() const = 0;

    // The folder shown (a local path, or the remote tree's current folder).
    [[nodiscard]] virtual std::string ShownFolder() const { return files_->Folder(); }
    // A remote list whose tree is connected: its server with the current folder.
    [[nodiscard]] virtual std::optional<TransferServer> ConnectedServer() const { return std::nullopt; }

    // The filter mask ("*.*" starts a local list, empty a remote one).
    [[nodiscard]] const QString& Mask() const { return mask_; }
    void SetMask(const QString& mask);

    // The link a transfer run refreshes this list through when it ends (the
    // run keeps it weakly: it lives as long as the list). The refresh runs on
    // the GUI thread, and only while the list still shows the folder it
    // showed when the run was built.
    [[nodiscard]] std::shared_ptr<TransferViewLink> RefreshLink();

    // Selects exactly the rows flagged true (one selection change).
    void SelectRowsByFlags(const std::vector<bool>& flags);

    // Opens a transfer window for a run built from this list.
    static void StartTransfer(std::unique_ptr<TransferRun> run);

protected:
    FileRowsModel* files_;

private:
    QPointer<CFileView> opposite_;
    QString mask_;
    std::shared_ptr<FileViewLink> link_;
};

// The trees of the browsing screens: the local drive tree and the remote trees.
class CBrowseTree : public CZyfarTree {
    Q_OBJECT
public:
    using CZyfarTree::CZyfarTree;
    [[nodiscard]] virtual FileListKind Kind() const = 0;
    // A remote tree that is connected: its server with the current folder.
    [[nodiscard]] virtual std::optional<TransferServer> ConnectedServer() const { return std::nullopt; }
    // The same with the folder of one of its items (ItemPath) instead: where
    // a drop on that item goes.
    [[nodiscard]] virtual std::optional<TransferServer> ServerForFolder(const QString& itemPath) const {
        (void)itemPath;
        return ConnectedServer();
    }
};

}  // namespace zyfar
