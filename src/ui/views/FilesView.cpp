#include "views/FilesView.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStyle>

#include "dialogs/Prompter.h"
#include "engine/LocalBrowse.h"
#include "platform/LocalFs.h"
#include "settings/Keys.h"
#include "views/DirView.h"
#include "views/ViewMenu.h"

namespace zyfar {

namespace {

constexpr int kMsgOnlyOneFile = 170;
constexpr int kMsgSelectFileToRename = 171;
constexpr int kMsgNewFileName = 175;
constexpr int kMsgSelectFile = 179;
constexpr int kMsgCancel = 188;
constexpr int kMsgYesToAll = 190;
constexpr int kMsgDeleteTitle = 197;
constexpr int kMsgListName = 310;
constexpr int kMsgListChanged = 33053;

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string KeyOf(std::string_view folder, std::string_view name) {
    std::string key(folder);
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    key += '\n';
    key += name;
    return key;
}

// A name the servers can take as one file name.
bool IsStorableRemoteName(const QString& name) {
    for (QChar c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\n') || c == QLatin1Char('\r') || c.unicode() == 0) return false;
    return true;
}

}  // namespace

// ---- the model ----

FilesRowsModel::FilesRowsModel(QObject* parent)
    : ZyfarListModel(parent),
      dateStyle_(ParseDateStyle(Read(keys::TimeTypeList)).value_or(DateStyle::MonthDay)),
      icon_(QApplication::style()->standardIcon(QStyle::SP_FileIcon)) {}

int FilesRowsModel::AddItems(const std::vector<FileListItem>& items) {
    std::vector<FileListItem> fresh;
    for (const FileListItem& item : items) {
        if (item.localName.empty() || !keys_.insert(KeyOf(item.folder, item.localName)).second) continue;
        fresh.push_back(item);
        if (fresh.back().remoteName.empty()) fresh.back().remoteName = item.localName;
    }
    if (fresh.empty()) return 0;
    BeginAppendRows(static_cast<int>(fresh.size()));
    items_.insert(items_.end(), std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
    EndAppendRows();
    return static_cast<int>(fresh.size());
}

void FilesRowsModel::SetItems(std::vector<FileListItem> items) {
    BeginReset();
    items_.clear();
    keys_.clear();
    for (FileListItem& item : items) {
        if (item.localName.empty() || !keys_.insert(KeyOf(item.folder, item.localName)).second) continue;
        if (item.remoteName.empty()) item.remoteName = item.localName;
        items_.push_back(std::move(item));
    }
    EndReset();
}

void FilesRowsModel::SetItem(int row, const FileListItem& item) {
    if (row < 0 || row >= RowCount()) return;
    FileListItem& mine = items_[static_cast<std::size_t>(row)];
    keys_.erase(KeyOf(mine.folder, mine.localName));
    mine = item;
    keys_.insert(KeyOf(mine.folder, mine.localName));
    emit dataChanged(index(row, 0), index(row, ColumnCount() - 1));
}

int FilesRowsModel::FindItem(const std::string& folder, const std::string& name) const {
    const std::string key = KeyOf(folder, name);
    if (!keys_.contains(key)) return -1;
    for (int row = 0; row < RowCount(); ++row) {
        const FileListItem& i = items_[static_cast<std::size_t>(row)];
        if (KeyOf(i.folder, i.localName) == key) return row;
    }
    return -1;
}

void FilesRowsModel::SetFullPath(bool on) {
    if (fullPath_ == on) return;
    fullPath_ = on;
    if (!items_.empty()) emit dataChanged(index(0, ColFile), index(RowCount() - 1, ColFile));
}

QString FilesRowsModel::HeaderText(int column) const {
    switch (column) {
    case ColFile: return QStringLiteral("File");
    case ColRemote: return QStringLiteral("Remote Name");
    case ColSize: return QStringLiteral("Size");
    case ColModified: return QStringLiteral("Modified");
    default: return {};
    }
}

QString FilesRowsModel::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount()) return {};
    const FileListItem& i = items_[static_cast<std::size_t>(row)];
    switch (column) {
    case ColFile: return fullPath_ ? Q(FileListLocalPath(i)) : Q(i.localName);
    case ColRemote: return Q(i.remoteName);
    case ColSize: return QString::number(i.size);
    case ColModified:
        // Saved lists keep no times: those rows show none.
        return i.lastWrite > 0 ? Q(ModifiedText(LocalTimeOf(i.lastWrite), dateStyle_)) : QString();
    default: return {};
    }
}

QIcon FilesRowsModel::RowIcon(int row) const {
    (void)row;
    return icon_;
}

int FilesRowsModel::CompareRows(int a, int b, int column) const {
    const FileListItem& x = items_[static_cast<std::size_t>(a)];
    const FileListItem& y = items_[static_cast<std::size_t>(b)];
    if (column == ColSize) return x.size < y.size ? -1 : (y.size < x.size ? 1 : 0);
    if (column == ColModified) return x.lastWrite < y.lastWrite ? -1 : (y.lastWrite < x.lastWrite ? 1 : 0);
    return CellText(a, column).compare(CellText(b, column), Qt::CaseInsensitive);
}

void FilesRowsModel::PermuteRecords(const std::vector<int>& newOrder) {
    std::vector<FileListItem> sorted;
    sorted.reserve(items_.size());
    for (int old : newOrder) sorted.push_back(std::move(items_[static_cast<std::size_t>(old)]));
    items_ = std::move(sorted);
}

void FilesRowsModel::EraseRecords(int first, int count) {
    for (int r = first; r < first + count; ++r) {
        const FileListItem& i = items_[static_cast<std::size_t>(r)];
        keys_.erase(KeyOf(i.folder, i.localName));
    }
    items_.erase(items_.begin() + first, items_.begin() + first + count);
}

// ---- the view ----

CFilesView::CFilesView(QWidget* parent) : CZyfarView(parent) {
    rows_ = new FilesRowsModel;
    SetModel(rows_);
    SetAccessibleName(QStringLiteral("Files to send"));
    SetColumnWidth(FilesRowsModel::ColFile, 160);
    SetColumnWidth(FilesRowsModel::ColRemote, 140);
    SetColumnWidth(FilesRowsModel::ColSize, 80);
    SetColumnWidth(FilesRowsModel::ColModified, 120);
}

int CFilesView::AddItems(const std::vector<FileListItem>& items) {
    const int added = rows_->AddItems(items);
    if (added > 0) MarkChanged();
    return added;
}

void CFilesView::SetList(std::vector<FileListItem> items, const QString& listFolder) {
    rows_->SetItems(std::move(items));
    ResetSortState();
    listFolder_ = listFolder;
    changed_ = false;
}

bool CFilesView::LoadList(const QString& listFolder) {
    AskToSaveChanges();
    if (AskAppendOrReplace() == AppendOrReplace::Cancel) return false;
    const bool wasEmpty = RowCount() == 0;
    (void)rows_->AddItems(LoadFileList(listFolder.toStdString()));
    listFolder_ = listFolder;
    // Rows kept from before make the view differ from the list's file.
    changed_ = !wasEmpty;
    return true;
}

bool CFilesView::SaveList() {
    if (RowCount() == 0) return false;
    std::string folder = listFolder_.toStdString();
    if (folder.empty()) {
        const std::optional<QString> typed =
            Prompt().InputLine(this, InputRequest{QStringLiteral("Zyfar"), MessageString(kMsgListName), QString()});
        if (!typed) return false;
        const QString name = typed->trimmed();
        const QString wanted = QDir(Q(FilesFolder())).filePath(name);
        const bool existed = !name.isEmpty() && QFileInfo(wanted).isDir();
        if (existed &&
            AskText(this, QStringLiteral("A list named %1 exists already. Replace it?").arg(name), MessageKind::Question,
                    MessageButtons::YesNo) != MessageAnswer::Yes)
            return false;
        const ProfileResult made = CreateFileListFolder(name.toStdString(), &folder);
        if (!made.ok()) {
            (void)AskText(this, Q(made.text()), MessageKind::Stop, MessageButtons::Ok);
            return false;
        }
        if (!existed) emit listCreated(name, Q(folder));
    }
    const ProfileResult saved = SaveFileList(folder, Items());
    if (!saved.ok()) {
        (void)AskText(this, Q(saved.text()), MessageKind::Stop, MessageButtons::Ok);
        return false;
    }
    listFolder_ = Q(folder);
    changed_ = false;
    return true;
}

void CFilesView::AskToSaveChanges() {
    if (listFolder_.isEmpty() || !changed_) return;
    if (AskMessage(this, kMsgListChanged, MessageKind::Question, MessageButtons::YesNo) == MessageAnswer::Yes)
        (void)SaveList();
}

void CFilesView::SetFullPath(bool on) {
    rows_->SetFullPath(on);
    AdjustColumnWidths();
}

void CFilesView::Rename() {
    const std::vector<int> rows = SelectedRows();
    if (rows.size() >= 2) {
        (void)AskMessage(this, kMsgOnlyOneFile, MessageKind::Stop, MessageButtons::Ok);
        return;
    }
    if (rows.empty()) {
        (void)AskMessage(this, kMsgSelectFileToRename, MessageKind::Stop, MessageButtons::Ok);
        return;
    }
    FileListItem item = Items()[static_cast<std::size_t>(rows.front())];
    const std::optional<QString> typed = Prompt().InputLine(
        this, InputRequest{QStringLiteral("Zyfar"), MessageString(kMsgNewFileName), Q(item.remoteName)});
    if (!typed) return;
    const QString wanted = typed->isEmpty() ? Q(item.localName) : *typed;
    if (wanted == Q(item.remoteName)) return;  // nothing to change
    if (!IsStorableRemoteName(wanted)) {
        (void)AskText(this, QStringLiteral("A remote name cannot hold \"/\" or a line break."), MessageKind::Stop,
                      MessageButtons::Ok);
        return;
    }
    MessageRequest confirm;
    confirm.text = MessageString(177, {Q(item.localName), *typed});
    confirm.kind = MessageKind::Question;
    confirm.buttons = MessageButtons::OkCancel;
    confirm.title = QStringLiteral("QUESTION");
    if (Prompt().Message(this, confirm) != MessageAnswer::Ok) return;
    item.remoteName = wanted.toStdString();
    rows_->SetItem(rows.front(), item);
    MarkChanged();
}

void CFilesView::DeleteSelection() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        (void)AskMessage(this, kMsgSelectFile, MessageKind::Stop, MessageButtons::Ok);
        return;
    }
    std::vector<int> remove;
    bool all = false;
    for (int row : rows) {
        if (!all) {
            ThreeButtonRequest ask;
            ask.title = MessageString(kMsgDeleteTitle);
            ask.question = QStringLiteral("About to remove file %1!").arg(Q(FileListLocalPath(Items()[static_cast<std::size_t>(row)])));
            ask.buttons[0] = QStringLiteral("Yes");
            ask.buttons[1] = rows.size() > 1 ? MessageString(kMsgYesToAll) : QString();
            ask.buttons[2] = MessageString(kMsgCancel);
            const int answer = Prompt().ThreeButtons(this, ask);
            if (answer == 2) break;
            all = answer == 1;
        }
        remove.push_back(row);
    }
    if (remove.empty()) return;
    rows_->RemoveRowsAt(std::move(remove));
    MarkChanged();
}

bool CFilesView::ClearList() {
    if (!CZyfarView::ClearList()) return false;
    // An emptied view is a new list.
    listFolder_.clear();
    changed_ = false;
    return true;
}

void CFilesView::FileRenamed(const QString& folder, const QString& oldName, const QString& newName) {
    const std::string dir = folder.toStdString();
    const int row = rows_->FindItem(dir, oldName.toStdString());
    if (row < 0 || oldName == newName) return;
    if (rows_->FindItem(dir, newName.toStdString()) >= 0) {
        // The new name is listed already: the old row names a file that is gone.
        rows_->RemoveRowsAt({row});
    } else {
        FileListItem item = Items()[static_cast<std::size_t>(row)];
        if (item.remoteName == item.localName) item.remoteName = newName.toStdString();
        item.localName = newName.toStdString();
        rows_->SetItem(row, item);
    }
    MarkChanged();
}

std::vector<CTransferJob> CFilesView::SendItems() const {
    std::vector<CTransferJob> out;
    out.reserve(Items().size());
    for (const FileListItem& item : Items()) {
        CTransferJob job;
        job.localDir = item.folder;
        job.sourceName = item.localName;
        job.targetName = item.remoteName.empty() ? item.localName : item.remoteName;
        job.size = item.size;
        job.SetTime(item.lastWrite);
        out.push_back(std::move(job));
    }
    return out;
}

bool CFilesView::HandleCommand(int id) {
    switch (id) {
    case cmd::SaveList: (void)SaveList(); return true;
    case cmd::ShowFullPath: SetFullPath(true); return true;
    case cmd::ShowFileName: SetFullPath(false); return true;
    case cmd::Rename: Rename(); return true;
    default: return CZyfarView::HandleCommand(id);
    }
}

std::optional<CommandState> CFilesView::CommandStateOf(int id) const {
    switch (id) {
    case cmd::SaveList: return CommandState{RowCount() > 0, std::nullopt};
    case cmd::ShowFullPath: return CommandState{true, FullPath()};
    case cmd::ShowFileName: return CommandState{true, !FullPath()};
    case cmd::Rename: return CommandState{};
    default: return CZyfarView::CommandStateOf(id);
    }
}

void CFilesView::DropUrls(const QStringList& paths, DropAction action) {
    (void)action;  // the files stay where they are: the list only names them
    std::vector<std::string> list;
    list.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& p : paths) list.push_back(LocalPathBytes(p));
    (void)AddPaths(list);
}

int CFilesView::AddPaths(const std::vector<std::string>& paths) {
    const DroppedFiles dropped = CollectDroppedFiles(paths, Items());
    if (dropped.truncated)
        emit StatusMessage(QStringLiteral("Only the first %1 files were added.").arg(dropped.items.size()));
    return AddItems(dropped.items);
}

void ConnectLocalToFiles(CDirView* local, CFilesView* files) {
    QObject::connect(local, &CDirView::sendToRight, files,
                     [files](const std::vector<FileListItem>& items) { (void)files->AddItems(items); });
    QObject::connect(local, &CDirView::droppedOnList, files,
                     [files](CZyfarView* target, const std::vector<FileListItem>& items) {
                         if (target == files) (void)files->AddItems(items);
                     });
    QObject::connect(local, &CDirView::fileRenamed, files, &CFilesView::FileRenamed);
}

}  // namespace zyfar
