#include "views/DirView.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QProcess>
#include <QUrl>
#include <algorithm>
#include <unordered_set>

#include "dialogs/FilePropertiesDlg.h"
#include "dialogs/Prompter.h"
#include "engine/LocalBrowse.h"
#include "engine/TransferPaths.h"
#include "settings/Keys.h"
#include "views/DriveTree.h"

namespace zyfar {

namespace {

// Message numbers of the local list.
constexpr int kMsgFilterTitle = 164;
constexpr int kMsgFilterPrompt = 165;
constexpr int kMsgWildcardTitle = 166;
constexpr int kMsgWildcardPrompt = 168;
constexpr int kMsgOnlyOne = 170;
constexpr int kMsgSelectToRename = 171;
constexpr int kMsgNewName = 175;
constexpr int kMsgAboutToRename = 177;
constexpr int kMsgSelectFile = 179;
constexpr int kMsgAboutToRemove = 183;
constexpr int kMsgYes = 187;
constexpr int kMsgCancel = 188;
constexpr int kMsgYesToAll = 190;
constexpr int kMsgDeleteTitle = 197;
constexpr int kMsgNoFilesToFtp = 203;
constexpr int kMsgNoWildcardMatch = 281;


void Tell(QWidget* parent, int id) { AskMessage(parent, id, MessageKind::Information, MessageButtons::Ok); }

// A failed file operation: its message number with the text the core made.
void ShowOutcome(QWidget* parent, const FsResult& r) {
    const QString text = r.text.empty() ? MessageString(r.message) : QString::fromStdString(r.text);
    Prompt().Message(parent, MessageRequest{r.message, text, MessageKind::Stop, MessageButtons::Ok});
}

}  // namespace

QString LocalPathText(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string LocalPathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

bool DropCopies(DropAction action) {
    return action == DropAction::Copy || ParseDragDrop(Read(keys::DragDrop)) == DragDropMode::Copy;
}

std::vector<bool> MoveOrCopyLocalFiles(QWidget* parent, const std::vector<LocalFileRef>& files,
                                       const std::string& targetFolder, bool copy) {
    std::vector<bool> done(files.size(), false);
    if (targetFolder.empty()) return done;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const LocalFileRef& f = files[i];
        if (f.folder == targetFolder) continue;
        FsResult r;
        if (copy) {
            r = CopyLocal(f.folder, f.name, targetFolder, false);
            if (r.status == FsStatus::Exists && r.message == kMsgOverwrite) {
                const QString question =
                    r.text.empty() ? MessageString(kMsgOverwrite, {LocalPathText(f.name)}) : QString::fromStdString(r.text);
                const MessageAnswer answer = Prompt().Message(
                    parent, MessageRequest{kMsgOverwrite, question, MessageKind::Question, MessageButtons::YesNo});
                if (answer != MessageAnswer::Yes) continue;  // "No" keeps the target as it is
                r = CopyLocal(f.folder, f.name, targetFolder, true);
            }
        } else {
            r = MoveLocal(f.folder, f.name, targetFolder);
        }
        if (r.ok()) {
            done[i] = true;
        } else {
            ShowOutcome(parent, r);
        }
    }
    return done;
}

// ---- CDirView ----------------------------------------------------------------------------

CDirView::CDirView(QWidget* parent) : CFileView(false, parent) {
    SetAccessibleName(QStringLiteral("Local files"));
    Files()->SetTimeType(Read(keys::TimeTypeList));
    SetMask(QStringLiteral("*.*"));
}

CBrowseTree* CDirView::BrowseTree() const { return tree_.data(); }

void CDirView::SetTree(CDriveTree* tree) { tree_ = tree; }

bool CDirView::ListFolder(const std::string& folder) {
    LocalListing listing = ::zyfar::ListFolder(folder);
    std::vector<FileRow> rows;
    if (listing.ok()) {
        listError_.clear();
        const std::string mask = Mask().toUtf8().toStdString();
        rows.reserve(listing.entries.size());
        for (LocalEntry& e : listing.entries) {
            if (e.isFolder || !MatchesLocalMask(e.name, mask)) continue;
            FileRow row;
            row.name = std::move(e.name);
            row.size = e.size;
            row.modified = e.modified;
            row.created = e.created;
            row.kind = e.isSymlink ? FileRowKind::LinkFile : FileRowKind::File;
            row.hidden = e.hidden;
            row.readOnly = e.readOnly;
            rows.push_back(std::move(row));
        }
    } else {
        listError_ = QString::fromStdString(listing.error);
    }
    Files()->SetRows(folder, std::move(rows));
    if (!listing.ok()) AskText(this, listError_, MessageKind::Stop, MessageButtons::Ok);
    return listing.ok();
}

void CDirView::Refresh() {
    if (ShownFolder().empty()) return;
    std::unordered_set<std::string> selected;
    for (int row : SelectedRows()) selected.insert(Files()->Row(row).name);
    ListFolder(ShownFolder());
    if (selected.empty()) return;
    std::vector<bool> flags(static_cast<std::size_t>(RowCount()));
    for (int row = 0; row < RowCount(); ++row) flags[static_cast<std::size_t>(row)] = selected.contains(Files()->Row(row).name);
    SelectRowsByFlags(flags);
}

// ---- commands ----

bool CDirView::HandleCommand(int id) {
    switch (id) {
    case cmd::Execute: Execute(); return true;
    case cmd::OpenFile: OpenFiles(); return true;
    case cmd::Rename: Rename(); return true;
    case cmd::Refresh: Refresh(); return true;
    case cmd::Filter: Filter(); return true;
    case cmd::Properties: Properties(); return true;
    case cmd::FtpPut: FtpPut(); return true;
    case cmd::FtpPutWildcard: FtpPutWildcard(); return true;
    case cmd::SendToRight: SendToRight(); return true;
    case cmd::SendWildcardToRight: SendWildcardToRight(); return true;
    default: return CFileView::HandleCommand(id);
    }
}

std::optional<CommandState> CDirView::CommandStateOf(int id) const {
    switch (id) {
    case cmd::Execute:
    case cmd::OpenFile:
    case cmd::Rename:
    case cmd::Refresh:
    case cmd::Filter:
    case cmd::Properties:
    case cmd::FtpPut:
    case cmd::FtpPutWildcard:
    case cmd::SendToRight:
    case cmd::SendWildcardToRight: return CommandState{};
    default: return CFileView::CommandStateOf(id);
    }
}

void CDirView::Rename() {
    const std::vector<int> rows = SelectedRows();
    if (rows.size() >= 2) return Tell(this, kMsgOnlyOne);
    if (rows.empty()) return Tell(this, kMsgSelectToRename);
    const int row = rows.front();
    const std::string folder = ShownFolder();
    const std::string oldName = Files()->Row(row).name;
    const QString shown = DisplayName(oldName);
    const std::optional<QString> answer =
        Prompt().InputLine(this, InputRequest{QStringLiteral("Rename"), MessageString(kMsgNewName), shown});
    if (!answer || *answer == shown) return;  // cancelled, or the name unchanged
    const std::string newName = answer->toUtf8().toStdString();
    if (newName == oldName) return;
    if (!IsLocalFileName(newName)) return ShowOutcome(this, RenameLocal(folder, oldName, newName));  // refused as it is
    const QString question = MessageString(kMsgAboutToRename, {shown, *answer});
    const MessageAnswer ok = Prompt().Message(
        this, MessageRequest{kMsgAboutToRename, question, MessageKind::Question, MessageButtons::OkCancel,
                             QStringLiteral("QUESTION")});
    if (ok != MessageAnswer::Ok) return;
    const FsResult r = RenameLocal(folder, oldName, newName);
    if (r.status == FsStatus::Unchanged) return;
    if (!r.ok()) return ShowOutcome(this, r);
    // The row may have moved while the question was open (a refresh): find it again.
    const int now = Files()->FindName(oldName);
    if (now >= 0) Files()->RenameRow(now, newName);
    emit fileRenamed(LocalPathText(folder), LocalPathText(oldName), LocalPathText(newName));
}

void CDirView::DeleteSelection() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return Tell(this, kMsgSelectFile);
    const std::string folder = ShownFolder();
    const bool several = rows.size() > 1;
    bool all = false;
    std::vector<bool> gone(static_cast<std::size_t>(RowCount()), false);
    for (int row : rows) {
        const std::string name = Files()->Row(row).name;
        if (!all) {
            ThreeButtonRequest q;
            q.title = MessageString(kMsgDeleteTitle);
            q.question = MessageString(kMsgAboutToRemove, {LocalPathText(JoinLocal(folder, name))});
            q.buttons[0] = MessageString(kMsgYes);
            q.buttons[1] = several ? MessageString(kMsgYesToAll) : QString();
            q.buttons[2] = MessageString(kMsgCancel);
            const int answer = Prompt().ThreeButtons(this, q);
            if (answer == 2 || (answer == 1 && !several)) break;  // Cancel ends the command
            all = answer == 1;
        }
        const FsResult r = DeleteLocalFile(folder, name);
        if (r.ok()) {
            gone[static_cast<std::size_t>(row)] = true;
        } else {
            ShowOutcome(this, r);
        }
    }
    if (std::find(gone.begin(), gone.end(), true) == gone.end()) return;
    SelectRowsByFlags(gone);
    DeleteSelectedRows();
}

void CDirView::Filter() {
    const std::optional<QString> mask = Prompt().InputLine(
        this, InputRequest{MessageString(kMsgFilterTitle), MessageString(kMsgFilterPrompt), Mask()});
    if (!mask || mask->isEmpty()) return;
    SetMask(*mask);
    if (!ShownFolder().empty()) ListFolder(ShownFolder());
}

void CDirView::Properties() {
    const std::vector<int> rows = SelectedRows();
    const int row = rows.empty() ? CurrentRow() : rows.front();
    if (row < 0) return Tell(this, kMsgSelectFile);
    const std::string folder = ShownFolder();
    const std::string& name = Files()->Row(row).name;
    const std::optional<LocalFileInfo> info = StatLocal(folder, name);
    if (!info) return Tell(this, kMsgNoSuchFile);
    FileProperties p;
    p.name = DisplayName(name);
    p.location = LocalPathText(folder);
    p.size = info->entry.size;
    p.remoteName = DisplayName(Files()->Row(row).remoteName.empty() ? name : Files()->Row(row).remoteName);
    p.created = Files()->TimeText(info->entry.created);
    p.modified = Files()->TimeText(info->entry.modified);
    p.accessed = Files()->TimeText(info->accessed);
    p.readOnly = info->entry.readOnly;
    p.hidden = info->entry.hidden;
    p.icon = Files()->RowIcon(row);
    FilePropertiesDlg::Show(p, this);
}

void CDirView::OnDoubleClick(int row) {
    if (row < 0 || row >= RowCount()) return;
    const std::vector<int> selected = SelectedRows();
    if (std::find(selected.begin(), selected.end(), row) == selected.end()) SelectRow(row);
    switch (ParseLocalDblClick(Read(keys::LocalDblClick))) {
    case DblClickAction::Transfer: FtpPut(); break;
    case DblClickAction::Execute: Execute(); break;
    case DblClickAction::Open: OpenFiles(); break;
    case DblClickAction::NoAction: break;
    }
}

void CDirView::Execute() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return Tell(this, kMsgSelectFile);
    const std::string folder = ShownFolder();
    const std::vector<std::string> entries = ReadExtEntries();
    for (int row : rows) {
        const std::string path = JoinLocal(folder, Files()->Row(row).name);
        if (const std::optional<std::string> program = ExtProgramFor(path, entries)) {
            // The path is one argument of its own: no shell ever sees it.
            const QString exe = QString::fromStdString(*program);
            if (!QProcess::startDetached(exe, {LocalPathText(path)}, LocalPathText(folder))) {
                AskText(this, QStringLiteral("Could not start %1").arg(exe), MessageKind::Stop, MessageButtons::Ok);
            }
        } else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(LocalPathText(path)))) {
            AskText(this, QStringLiteral("No program opens %1").arg(LocalPathText(path)), MessageKind::Stop,
                    MessageButtons::Ok);
        }
    }
}

void CDirView::OpenFiles() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return Tell(this, kMsgSelectFile);
    const std::string folder = ShownFolder();
    for (int row : rows) {
        const QString path = LocalPathText(JoinLocal(folder, Files()->Row(row).name));
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
            AskText(this, QStringLiteral("No program opens %1").arg(path), MessageKind::Stop, MessageButtons::Ok);
        }
    }
}

// ---- put and send ----

std::vector<LocalFileRef> CDirView::RefsOf(const std::vector<int>& rows) const {
    std::vector<LocalFileRef> refs;
    refs.reserve(rows.size());
    for (int row : rows) {
        if (row >= 0 && row < RowCount()) refs.push_back({ShownFolder(), Files()->Row(row).name});
    }
    return refs;
}

std::vector<LocalEntry> CDirView::EntriesOf(const std::vector<int>& rows) const {
    // The disk's word now, not the listing's: a file that went is left out,
    // one that grew goes with its new size.
    std::vector<LocalEntry> entries;
    entries.reserve(rows.size());
    for (const LocalFileRef& ref : RefsOf(rows)) {
        if (std::optional<LocalFileInfo> info = StatLocal(ref.folder, ref.name)) entries.push_back(std::move(info->entry));
    }
    return entries;
}

std::vector<FileListItem> CDirView::ItemsOf(const std::vector<int>& rows) const {
    std::vector<FileListItem> items;
    items.reserve(rows.size());
    for (int row : rows) {
        if (row < 0 || row >= RowCount()) continue;
        const FileRow& r = Files()->Row(row);
        items.push_back({ShownFolder(), r.name, r.remoteName.empty() ? r.name : r.remoteName, r.size, r.modified});
    }
    return items;
}

std::unique_ptr<TransferRun> CDirView::MakePutRun(const std::vector<int>& rows, const TransferServer& server,
                                                  const std::shared_ptr<TransferViewLink>& targetLink) {
    const std::vector<LocalEntry> entries = EntriesOf(rows);
    std::vector<CTransferJob> jobs = BuildLocalPutJobs(ShownFolder(), entries, ParseFileCasing(Read(keys::FileCasingPut)));
    if (jobs.empty()) return nullptr;
    const std::int64_t batch = BatchSizeOf(jobs);
    return MakeSingleServerRun(server, std::move(jobs), std::string(), batch, TransferMode::Put, 1, targetLink,
                               RefreshLink(), false);
}

void CDirView::PutRows(const std::vector<int>& rows, CFileView* remoteList, const TransferServer& server) {
    if (rows.empty()) return Tell(this, kMsgNoFilesToFtp);
    std::unique_ptr<TransferRun> run =
        MakePutRun(rows, server, remoteList != nullptr ? remoteList->RefreshLink() : nullptr);
    if (!run) return Tell(this, kMsgNoFilesToFtp);
    StartTransfer(std::move(run));
}

void CDirView::FtpPut() {
    CFileView* opposite = Opposite();
    if (opposite == nullptr || opposite->Kind() != FileListKind::Remote) return SendToRight();
    const std::optional<TransferServer> server = opposite->ConnectedServer();
    if (!server) return;  // a remote list that is not connected: nothing happens
    PutRows(SelectedRows(), opposite, *server);
}

bool CDirView::SelectByAskedMask(int title, int prompt) {
    const std::optional<QString> mask =
        Prompt().InputLine(this, InputRequest{MessageString(title), MessageString(prompt), Mask()});
    if (!mask || mask->isEmpty()) return false;
    std::vector<LocalEntry> entries(static_cast<std::size_t>(RowCount()));
    for (int row = 0; row < RowCount(); ++row) {
        LocalEntry& e = entries[static_cast<std::size_t>(row)];
        e.name = Files()->Row(row).name;
        e.isFile = true;
    }
    const std::vector<std::size_t> matching = RowsMatchingMask(entries, mask->toUtf8().toStdString());
    if (matching.empty()) {
        Tell(this, kMsgNoWildcardMatch);
        return false;
    }
    std::vector<bool> flags(entries.size(), false);
    for (std::size_t i : matching) flags[i] = true;
    SelectRowsByFlags(flags);
    return true;
}

void CDirView::FtpPutWildcard() {
    CFileView* opposite = Opposite();
    const bool remote = opposite != nullptr && opposite->Kind() == FileListKind::Remote;
    if (remote && !opposite->ConnectedServer()) return;
    if (SelectByAskedMask(kMsgFilterTitle, kMsgFilterPrompt)) FtpPut();
}

void CDirView::SendToRight() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return Tell(this, kMsgSelectFile);
    emit sendToRight(ItemsOf(rows));
}

void CDirView::SendWildcardToRight() {
    if (SelectByAskedMask(kMsgWildcardTitle, kMsgWildcardPrompt)) SendToRight();
}

// ---- drag and drop ----

void CDirView::DropOperation(const DropInfo& info) {
    std::vector<int> rows;
    for (int row : info.rows) {
        if (row >= 0 && row < RowCount()) rows.push_back(row);
    }
    if (rows.empty()) return;
    std::string target;
    CZyfarView* refreshList = nullptr;
    if (CZyfarView* list = info.targetList.data()) {
        auto* files = qobject_cast<CFileView*>(list);
        if (files == nullptr) {
            emit droppedOnList(list, ItemsOf(rows));
            return;
        }
        if (files->Kind() == FileListKind::Remote) {
            if (const std::optional<TransferServer> server = files->ConnectedServer()) PutRows(rows, files, *server);
            return;
        }
        target = files->ShownFolder();
        refreshList = files;
    } else if (auto* tree = qobject_cast<CBrowseTree*>(info.targetTree.data())) {
        if (tree->Kind() == FileListKind::Remote) {
            if (const std::optional<TransferServer> server = tree->ServerForFolder(info.targetFolder)) {
                PutRows(rows, qobject_cast<CFileView*>(tree->List()), *server);
            }
            return;
        }
        target = LocalPathBytes(info.targetFolder);
        auto* beside = qobject_cast<CFileView*>(tree->List());
        if (beside != nullptr && beside != this && beside->ShownFolder() == target) refreshList = beside;
    } else {
        return;
    }
    if (target.empty() || target == ShownFolder()) return;
    const bool copy = DropCopies(info.action);
    const std::vector<bool> done = MoveOrCopyLocalFiles(this, RefsOf(rows), target, copy);
    if (!copy) {
        std::vector<bool> gone(static_cast<std::size_t>(RowCount()), false);
        bool any = false;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (done[i]) gone[static_cast<std::size_t>(rows[i])] = any = true;
        }
        if (any) {
            SelectRowsByFlags(gone);
            DeleteSelectedRows();
        }
    }
    if (refreshList != nullptr) refreshList->Refresh();
}

void CDirView::DropUrls(const QStringList& paths, DropAction action) {
    if (ShownFolder().empty()) return;
    std::vector<LocalFileRef> refs;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        refs.push_back({LocalPathBytes(info.absolutePath()), LocalPathBytes(info.fileName())});
    }
    (void)MoveOrCopyLocalFiles(this, refs, ShownFolder(), DropCopies(action));
    Refresh();
}

void CDirView::AddDragUrls(const std::vector<int>& rows, QMimeData* mime) const {
    QStringList paths;
    for (const LocalFileRef& ref : RefsOf(rows)) paths << LocalPathText(JoinLocal(ref.folder, ref.name));
    AddFileUrls(paths, mime);
}

}  // namespace zyfar
