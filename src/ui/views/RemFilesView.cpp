#include "views/RemFilesView.h"

#include <QFile>
#include <QFileInfo>
#include <ctime>
#include <map>

#include "dialogs/FilePropertiesDlg.h"
#include "dialogs/ProgressWindow.h"
#include "dialogs/Prompter.h"
#include "engine/Comparison.h"
#include "engine/LocalBrowse.h"
#include "engine/TransferPaths.h"
#include "views/RemoteTree.h"

namespace zyfar {
namespace {

RemoteTime ToRemoteTime(std::int64_t seconds) {
    RemoteTime t;
    if (seconds == kNoTime) return t;
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (gmtime_r(&when, &tm) == nullptr) return t;
    t = RemoteTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, true};
    return t;
}

}  // namespace

std::vector<CTransferJob> LocalPutJobsOf(const QStringList& paths, int* foldersLeft, std::int64_t* batchSize) {
    // One BuildLocalPutJobs per folder, in the order the folders first come.
    std::vector<std::string> order;
    std::map<std::string, std::vector<LocalEntry>> byFolder;
    int folders = 0;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        const std::string folder = QFile::encodeName(info.absolutePath()).toStdString();
        const std::string name = QFile::encodeName(info.fileName()).toStdString();
        const std::optional<LocalFileInfo> stat = StatLocal(folder, name);
        if (!stat) continue;
        if (stat->entry.isFolder) {
            ++folders;
            continue;
        }
        if (!byFolder.count(folder)) order.push_back(folder);
        byFolder[folder].push_back(stat->entry);
    }
    const FileCasing casing = ParseFileCasing(Read(keys::FileCasingPut));
    std::vector<CTransferJob> jobs;
    std::int64_t batch = 0;
    for (const std::string& folder : order) {
        for (CTransferJob& job : BuildLocalPutJobs(folder, byFolder[folder], casing)) {
            batch += job.size;
            jobs.push_back(std::move(job));
        }
    }
    if (foldersLeft != nullptr) *foldersLeft = folders;
    if (batchSize != nullptr) *batchSize = batch;
    return jobs;
}

CRemFilesView::CRemFilesView(QWidget* parent) : CFileView(true, parent), compareProgress_(new ProgressWindow(this)) {
    SetAccessibleName(QStringLiteral("Remote files"));
    compareProgress_->SetCancelVisible(true);
    connect(compareProgress_, &ProgressWindow::Cancelled, this, [this] {
        comparing_ = false;
        if (tree_) tree_->CancelOperation();
        if (auto* other = qobject_cast<CRemFilesView*>(Opposite()); other && other->Tree())
            other->Tree()->CancelOperation();
    });
}

CRemFilesView::~CRemFilesView() = default;

CBrowseTree* CRemFilesView::BrowseTree() const { return tree_.data(); }

std::optional<TransferServer> CRemFilesView::ConnectedServer() const {
    return tree_ ? tree_->ConnectedServer() : std::nullopt;
}

bool CRemFilesView::ReadyForServer() const { return tree_ && tree_->Connected(); }

bool CRemFilesView::HandleCommand(int id) {
    switch (id) {
    case cmd::Rename: Rename(); return true;
    case cmd::Filter: Filter(); return true;
    case cmd::Refresh: Refresh(); return true;
    case cmd::Properties: Properties(); return true;
    case cmd::FtpGet: FtpGet(); return true;
    case cmd::FtpPut: FtpPut(); return true;
    case cmd::FtpGetWildcard: FtpWildcard(false); return true;
    case cmd::FtpPutWildcard: FtpWildcard(true); return true;
    case cmd::HighlightLeft:
    case cmd::HighlightRight: HighlightDifferences(); return true;
    default: return CFileView::HandleCommand(id);
    }
}

std::optional<CommandState> CRemFilesView::CommandStateOf(int id) const {
    const bool ready = ReadyForServer() && !tree_->Busy();
    auto* other = Opposite();
    const bool remoteOpposite = other != nullptr && other->Kind() == FileListKind::Remote && other->ConnectedServer();
    switch (id) {
    case cmd::Rename:
    case cmd::Delete:
    case cmd::Filter:
    case cmd::Refresh:
    case cmd::FtpGet:
    case cmd::FtpGetWildcard: return CommandState{ready, std::nullopt};
    case cmd::FtpPut:
    case cmd::FtpPutWildcard: return CommandState{ready && remoteOpposite, std::nullopt};
    case cmd::Properties: return CommandState{CurrentRow() >= 0, std::nullopt};
    case cmd::HighlightLeft:
    case cmd::HighlightRight: return CommandState{ready && other != nullptr, std::nullopt};
    default: return CFileView::CommandStateOf(id);
    }
}

void CRemFilesView::Refresh() {
    if (tree_) tree_->Refresh();
}

// ---- delete, rename, filter, properties ----------------------------------------------

void CRemFilesView::DeleteSelection() {
    if (!ReadyForServer()) return;
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        AskMessage(this, 179, MessageKind::Stop, MessageButtons::Ok);
        return;
    }
    if (tree_->Busy()) {
        tree_->Run(BrowseOperation{BrowseListRequest{}, std::nullopt}, {});  // says "busy" in the status bar
        return;
    }
    std::vector<std::string> names;
    bool all = false;
    for (const int row : rows) {
        const std::string& name = Files()->Row(row).name;
        if (!all) {
            ThreeButtonRequest question;
            question.title = MessageString(197);
            question.question = MessageString(183, {DisplayName(name)});
            question.buttons[0] = MessageString(187);
            question.buttons[1] = MessageString(190);
            question.buttons[2] = MessageString(188);
            const int answer = Prompt().ThreeButtons(this, question);
            if (answer == 2) break;  // Cancel ends the command; the files confirmed before it go
            all = answer == 1;
        }
        names.push_back(name);
    }
    if (names.empty()) return;
    const std::string folder = Files()->Folder();
    const char sep = tree_->Separator();
    QPointer<CRemFilesView> self(this);
    tree_->Run(BrowseOperation{BrowseDeleteFilesRequest{folder, names}, std::nullopt},
               [self, folder, sep](const BrowseResult& r) {
                   if (!self || self->Files()->Folder() != folder) return;
                   // The rows of the files the server removed go.
                   std::vector<int> gone;
                   for (const BrowseItemOutcome& item : r.items) {
                       if (!item.result.ok()) continue;
                       for (int row = 0; row < self->RowCount(); ++row)
                           if (JoinWithSeparator(folder, sep, self->Files()->Row(row).name) == item.path) {
                               gone.push_back(row);
                               break;
                           }
                   }
                   self->Files()->RemoveRowsAt(std::move(gone));
               },
               MessageString(197));
}

void CRemFilesView::Rename() {
    if (!ReadyForServer()) return;
    const std::vector<int> rows = SelectedRows();
    if (rows.size() > 1) {
        AskMessage(this, 170, MessageKind::Stop, MessageButtons::Ok);
        return;
    }
    if (rows.empty()) {
        AskMessage(this, 171, MessageKind::Stop, MessageButtons::Ok);
        return;
    }
    const FileRow& row = Files()->Row(rows.front());
    const std::string oldName = row.name;
    const std::optional<QString> typed =
        Prompt().InputLine(this, InputRequest{QStringLiteral("Rename"), MessageString(175), DisplayName(oldName)});
    if (!typed || *typed == DisplayName(oldName)) return;
    const std::string newName = typed->toStdString();
    if (typed->isEmpty() || !IsPlainRemoteName(newName, tree_->Separator())) {
        AskMessage(this, 175, MessageKind::Stop, MessageButtons::Ok);
        return;
    }
    const QString text = MessageString(177, {DisplayName(oldName), *typed});
    if (Prompt().Message(this, MessageRequest{177, text, MessageKind::Question, MessageButtons::OkCancel, QStringLiteral("QUESTION")}) !=
        MessageAnswer::Ok)
        return;
    const std::string folder = Files()->Folder();
    BrowseRenameRequest request;
    request.items.push_back({folder, oldName, folder, newName, false});
    QPointer<CRemFilesView> self(this);
    tree_->Run(BrowseOperation{std::move(request), std::nullopt}, [self, folder, oldName, newName](const BrowseResult& r) {
        if (!self || !r.result.ok() || self->Files()->Folder() != folder) return;
        const int at = self->Files()->FindName(oldName);
        if (at >= 0) self->Files()->RenameRow(at, newName);
    });
}

void CRemFilesView::Filter() {
    if (!tree_) return;
    const std::optional<QString> mask =
        Prompt().InputLine(this, InputRequest{MessageString(164), MessageString(165), Mask()});
    if (!mask) return;
    SetMask(*mask);
    tree_->SetMask(mask->toStdString());
    tree_->Refresh();
}

void CRemFilesView::Properties() {
    const int row = CurrentRow() >= 0 ? CurrentRow() : (SelectedRows().empty() ? -1 : SelectedRows().front());
    if (row < 0) return;
    const FileRow& r = Files()->Row(row);
    FileProperties props;
    props.name = DisplayName(r.name);
    props.location = DisplayName(Files()->Folder());
    if (r.size >= 0) props.size = r.size;
    props.modified = r.modified == kNoTime ? QString() : Files()->TimeText(r.modified);
    props.icon = Files()->RowIcon(row);
    FilePropertiesDlg::Show(props, this);
}

// ---- transfers ------------------------------------------------------------------------

void CRemFilesView::TransferRows(const std::vector<int>& rows, CFileView* targetList,
                                 const std::optional<TransferServer>& toServer, const std::string& toLocalFolder) {
    const std::optional<TransferServer> source = ConnectedServer();
    if (!source) return;
    if (rows.empty()) {
        AskMessage(this, 203, MessageKind::Stop, MessageButtons::Ok);
        return;
    }
    std::vector<BrowseRow> selected;
    selected.reserve(rows.size());
    for (const int row : rows) {
        const FileRow& r = Files()->Row(row);
        // The server's exact bytes, whatever the list shows.
        selected.push_back(BrowseRow{r.name, r.IsFolder(), r.size, ToRemoteTime(r.modified), r.sizeApproximate});
    }
    BrowseJobTarget target{toServer ? TransferMode::ServerToServer : TransferMode::Get,
                           toServer ? toServer->remoteDir : toLocalFolder};
    QPointer<CRemFilesView> self(this);
    QPointer<CFileView> other(targetList);
    tree_->Run(BrowseOperation{BrowseSelectionJobsRequest{Files()->Folder(), std::move(selected), target}, std::nullopt},
               [self, other, source, toServer, toLocalFolder](const BrowseResult& r) {
                   if (!self || !r.result.ok()) return;
                   if (r.jobs.empty()) {
                       AskMessage(self, 203, MessageKind::Stop, MessageButtons::Ok);
                       return;
                   }
                   std::shared_ptr<TransferViewLink> destination = other ? other->RefreshLink() : nullptr;
                   if (toServer)
                       StartTransfer(MakeServerToServerRun(*toServer, *source, r.jobs, r.batchSize, 1, destination,
                                                           self->RefreshLink(), false));
                   else
                       StartTransfer(MakeSingleServerRun(*source, r.jobs, toLocalFolder, r.batchSize, TransferMode::Get,
                                                         1, destination, self->RefreshLink(), false));
               });
}

void CRemFilesView::FtpGet() {
    CFileView* other = Opposite();
    if (!ReadyForServer() || other == nullptr) return;
    if (other->Kind() == FileListKind::Local) {
        TransferRows(SelectedRows(), other, std::nullopt, other->ShownFolder());
        return;
    }
    const std::optional<TransferServer> to = other->ConnectedServer();
    if (to) TransferRows(SelectedRows(), other, to, {});
}

void CRemFilesView::FtpPut() {
    // Only towards a connected remote list; anything else does nothing.
    CFileView* other = Opposite();
    if (!ReadyForServer() || other == nullptr || other->Kind() != FileListKind::Remote) return;
    const std::optional<TransferServer> to = other->ConnectedServer();
    if (to) TransferRows(SelectedRows(), other, to, {});
}

void CRemFilesView::FtpWildcard(bool put) {
    if (!ReadyForServer()) return;
    if (put) {
        CFileView* other = Opposite();
        if (other == nullptr || other->Kind() != FileListKind::Remote || !other->ConnectedServer()) return;
    }
    const std::optional<QString> mask = Prompt().InputLine(this, InputRequest{MessageString(164), MessageString(165), {}});
    if (!mask || mask->isEmpty()) return;
    UnselectAllRows();
    const std::string folder = Files()->Folder();
    QPointer<CRemFilesView> self(this);
    // The server is asked for the mask; the rows of the found names are selected.
    tree_->Run(BrowseOperation{BrowseListRequest{folder, mask->toStdString(), std::nullopt}, std::nullopt},
               [self, folder, put](const BrowseResult& r) {
                   if (!self || !r.result.ok() || !r.listing || self->Files()->Folder() != folder) return;
                   std::vector<bool> flags(static_cast<std::size_t>(self->RowCount()), false);
                   bool any = false;
                   for (const BrowseEntry& e : r.listing->files) {
                       const int row = self->Files()->FindName(e.entry.name);
                       if (row >= 0) flags[static_cast<std::size_t>(row)] = any = true;
                   }
                   if (!any) {
                       AskMessage(self, 281, MessageKind::Stop, MessageButtons::Ok);
                       return;
                   }
                   self->SelectRowsByFlags(flags);
                   if (put) self->FtpPut();
                   else self->FtpGet();
               });
}

void CRemFilesView::OnDoubleClick(int row) {
    if (row < 0 || ParseRemoteDblClick(Read(keys::RemoteDblClick)) != DblClickAction::Transfer) return;
    CFileView* other = Opposite();
    if (!ReadyForServer() || other == nullptr) return;
    // As a drag of the row onto the opposite list.
    DropInfo info;
    info.rows = {row};
    info.targetList = other;
    DropOperation(info);
}

// ---- drag and drop --------------------------------------------------------------------

void CRemFilesView::DropOperation(const DropInfo& info) {
    if (!ReadyForServer() || info.rows.empty()) return;
    if (auto* list = qobject_cast<CFileView*>(info.targetList.data())) {
        if (list->Kind() == FileListKind::Local) {
            TransferRows(info.rows, list, std::nullopt, list->ShownFolder());
        } else if (const std::optional<TransferServer> to = list->ConnectedServer()) {
            TransferRows(info.rows, list, to, {});
        }
        return;
    }
    auto* tree = qobject_cast<CBrowseTree*>(info.targetTree.data());
    if (tree == nullptr || info.targetFolder.isEmpty()) return;
    auto* targetList = qobject_cast<CFileView*>(tree->List());
    if (tree->Kind() == FileListKind::Local) {
        TransferRows(info.rows, targetList, std::nullopt, QFile::encodeName(info.targetFolder).toStdString());
    } else if (tree == tree_) {
        MoveRowsTo(info.rows, info.targetFolder);
    } else if (auto* remote = qobject_cast<CRemoteTree*>(tree)) {
        if (const std::optional<TransferServer> to = remote->ServerForFolder(info.targetFolder))
            TransferRows(info.rows, targetList, to, {});
    }
}

void CRemFilesView::MoveRowsTo(const std::vector<int>& rows, const QString& targetFolder) {
    const std::string folder = Files()->Folder();
    const std::string toFolder = tree_->PathBytesOf(targetFolder);
    if (toFolder == folder) return;
    BrowseRenameRequest request;
    for (const int row : rows) {
        const FileRow& r = Files()->Row(row);
        request.items.push_back({folder, r.name, toFolder, r.name, r.IsFolder()});
    }
    tree_->Run(BrowseOperation{std::move(request), BrowseListRequest{folder, tree_->Mask(), std::nullopt}},
               [tree = tree_](const BrowseResult& r) {
                   if (tree && r.listing) tree->ShowListing(*r.listing, nullptr);
               });
}

bool CRemFilesView::AcceptsUrlDrop() const { return ReadyForServer(); }

void CRemFilesView::DropUrls(const QStringList& paths, DropAction action) {
    const std::optional<TransferServer> server = ConnectedServer();
    if (!server) return;
    int foldersLeft = 0;
    std::int64_t batch = 0;
    std::vector<CTransferJob> jobs = LocalPutJobsOf(paths, &foldersLeft, &batch);
    if (foldersLeft > 0 && tree_)
        emit tree_->StatusMessage(QStringLiteral("%1 folder(s) left out: only files are sent.").arg(foldersLeft));
    if (jobs.empty()) return;
    StartTransfer(MakeSingleServerRun(*server, std::move(jobs), std::string(), batch,
                                      action == DropAction::Copy ? TransferMode::PutKeep : TransferMode::Put, 1,
                                      RefreshLink(), nullptr, false));
}

// ---- Highlight Differences ------------------------------------------------------------

void CRemFilesView::HighlightDifferences() {
    CFileView* other = Opposite();
    if (!ReadyForServer() || other == nullptr || comparing_) return;
    if (tree_->Busy()) {
        tree_->Refresh();  // refused: says so in the status bar
        return;
    }
    comparing_ = true;
    compareProgress_->Open(MessageString(1269));
    QPointer<CRemFilesView> self(this);
    // B first, then A; a remote B answers later, without blocking.
    auto refreshThis = [self] {
        if (!self || !self->comparing_) return;
        if (!self->tree_ || !self->tree_->RefreshThen([self](bool) { if (self) self->FinishComparison(); }))
            self->FinishComparison();
    };
    auto* remote = qobject_cast<CRemFilesView*>(other);
    if (remote != nullptr && remote->Tree() != nullptr) {
        if (!remote->Tree()->RefreshThen([refreshThis](bool) { refreshThis(); })) refreshThis();
    } else {
        other->Refresh();
        refreshThis();
    }
}

void CRemFilesView::FinishComparison() {
    if (!comparing_) return;
    comparing_ = false;
    CFileView* other = Opposite();
    compareProgress_->SetStatus(MessageString(1270));
    std::vector<CompareRow> mine;
    std::vector<CompareRow> theirs;
    for (const FileRow& r : Files()->Rows()) mine.push_back(CompareRow{r.name, r.size});
    if (other != nullptr)
        for (const FileRow& r : other->Files()->Rows()) theirs.push_back(CompareRow{r.name, r.size});
    const CompareResult result = CompareFileLists(mine, theirs);
    compareProgress_->Finish();
    if (result.bothEmpty) {
        AskMessage(this, 203, MessageKind::Stop, MessageButtons::Ok);
    } else {
        SelectRowsByFlags(result.selectLeft);
        if (other != nullptr) other->SelectRowsByFlags(result.selectRight);
    }
    emit ComparisonDone();
}

}  // namespace zyfar
