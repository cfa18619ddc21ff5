#include "dialogs/FileListWindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QSplitter>
#include <QVBoxLayout>

#include "dialogs/Prompter.h"
#include "config/HelpWindow.h"
#include "profiles/FileList.h"
#include "profiles/Imports.h"
#include "profiles/ProfileNames.h"
#include "settings/Keys.h"
#include "views/DirView.h"
#include "views/DiskFolderTree.h"
#include "views/DriveTree.h"
#include "views/FilesView.h"
#include "views/ViewMenu.h"

namespace zyfar {

namespace {

constexpr int kMsgNotServerFile = 146;
constexpr int kMsgCancel = 188;
constexpr int kMsgAppend = 192;
constexpr int kMsgReplace = 194;
constexpr int kMsgAppendOrReplaceTitle = 196;
constexpr int kMsgAppendOrReplace = 199;
constexpr int kMsgFilesCaption = 350;
constexpr int kMsgNotMultiplePut = 33045;
constexpr const char* kSplitterName = "Files\\split1";

QPointer<CSite> g_window;

QString Q(const std::string& s) { return QString::fromStdString(s); }

#define ZYFAR_SITE_LIST_COMMON                                                                              \
    cmd::SelectAll, cmd::UnselectAll, 0, cmd::Grid, cmd::AdjustColumns, 0, cmd::StyleReport, cmd::StyleSmall, \
        cmd::StyleLarge, cmd::StyleList, 0, cmd::ClearList

}  // namespace

CSite::CSite(ScreenFilesView screenFiles, QWidget* parent)
    : QWidget(parent, Qt::Window), screenFiles_(std::move(screenFiles)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(MessageString(kMsgFilesCaption));
    setAccessibleName(MessageString(kMsgFilesCaption));
    commands_ = new CommandTable(this);

    rows_ = new QSplitter(Qt::Vertical, this);
    rows_->setObjectName(QString::fromLatin1(kSplitterName));
    rows_->setChildrenCollapsible(false);
    top_ = new QSplitter(Qt::Horizontal, rows_);
    bottom_ = new QSplitter(Qt::Horizontal, rows_);
    for (QSplitter* s : {top_, bottom_}) s->setChildrenCollapsible(false);

    drives_ = new CDriveTree(top_);
    drives_->SetAccessibleName(tr("Local folders"));
    drives_->SetContextMenu(BuildViewMenu(drives_, commands_, {cmd::Refresh}));

    lists_ = new CDiskFolderTree(DiskFolderKind::FileLists, top_);
    lists_->SetAccessibleName(tr("File lists"));
    lists_->SetNewItemName(QStringLiteral("New List"));
    FolderDeleteQuestion question;
    question.title = QStringLiteral("Delete Profile");
    question.question = QStringLiteral("Delete profile?");
    question.buttons[0] = QStringLiteral("Yes");
    question.buttons[2] = MessageString(kMsgCancel);
    question.actions[0] = FolderRemoval::All;
    question.actions[1] = FolderRemoval::Cancel;
    question.actions[2] = FolderRemoval::Cancel;
    lists_->SetDeleteQuestion(question);
    lists_->SetContextMenu(BuildViewMenu(
        lists_, commands_, {cmd::SelectTreeItem, 0, cmd::NewItem, cmd::RenameItem, cmd::DeleteItem, 0, cmd::ImportPrevious}));

    local_ = new CDirView(bottom_);
    local_->SetContextMenu(BuildViewMenu(local_, commands_,
                                         {cmd::SendToRight, cmd::SendWildcardToRight, 0, cmd::Execute, cmd::OpenFile,
                                          cmd::Rename, cmd::Delete, cmd::Properties, 0, cmd::Filter, cmd::Refresh, 0,
                                          ZYFAR_SITE_LIST_COMMON}));
    files_ = new CFilesView(bottom_);
    files_->SetContextMenu(BuildViewMenu(files_, commands_,
                                         {cmd::SaveList, 0, cmd::ShowFullPath, cmd::ShowFileName, 0, cmd::Rename,
                                          cmd::Delete, 0, ZYFAR_SITE_LIST_COMMON}));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(rows_);

    ConnectLocalToFiles(local_, files_);
    connect(lists_, &CDiskFolderTree::folderSelected, this, &CSite::ShowList);
    connect(lists_, &CDiskFolderTree::folderCreated, this,
            [this](const QString& path) { emit fileListCreated(QDir(path).dirName(), path); });
    connect(lists_, &CDiskFolderTree::folderRenamed, this, [this](const QString& oldPath, const QString& newPath) {
        // The window's list follows its folder.
        if (files_->ListFolder() == oldPath) files_->SetListFolder(newPath);
        emit fileListRenamed(oldPath, newPath);
    });
    connect(lists_, &CDiskFolderTree::folderDeleted, this, [this](const QString& path) {
        if (!files_->ListFolder().isEmpty() && IsSameOrBelow(files_->ListFolder().toStdString(), path.toStdString(), false))
            files_->SetList({}, QString());
        emit fileListDeleted(path);
    });
    connect(lists_, &CDiskFolderTree::linksDropped, this, &CSite::linksDropped);
    connect(files_, &CFilesView::listCreated, this, [this](const QString& name, const QString& folder) {
        if (QStandardItem* root = lists_->RootItem()) lists_->ReadSubFolders(root);
        emit fileListCreated(name, folder);
    });

    const WindowGeometry g = ReadWindowGeometry(sections::FilesWindow);
    move(g.x, g.y);
    resize(std::max(g.width, 200), std::max(g.height, 150));

    drives_->SetDirView(local_);
    drives_->LoadSystemDrives();
    drives_->Start();
    lists_->SetRoot(Q(FilesFolder()), QStringLiteral("Files"));
    InstallHelpKey(this, QStringLiteral("file-lists"));
}

CSite::~CSite() = default;

CSite* CSite::Open(ScreenFilesView screenFiles) {
    if (!g_window) {
        g_window = new CSite(std::move(screenFiles));
        g_window->show();
        g_window->RestoreSplitter();
    }
    g_window->showNormal();
    g_window->raise();
    g_window->activateWindow();
    return g_window.data();
}

CSite* CSite::Instance() { return g_window.data(); }

QString CSite::CurrentListFolder() const {
    const QString folder = lists_->CurrentFolder();
    if (folder.isEmpty() || QDir(folder) == QDir(lists_->RootFolder())) return {};
    return folder;
}

void CSite::ShowList(const QString& listFolder) {
    if (!listFolder.isEmpty() && listFolder == files_->ListFolder()) return;
    files_->AskToSaveChanges();
    if (listFolder.isEmpty() || QDir(listFolder) == QDir(lists_->RootFolder())) {
        files_->SetList({}, QString());
        return;
    }
    files_->SetList(LoadFileList(listFolder.toStdString()), listFolder);
}

bool CSite::SendListToScreen() {
    const QString folder = CurrentListFolder();
    if (folder.isEmpty()) return false;
    auto* target = qobject_cast<CFilesView*>(screenFiles_ ? screenFiles_() : nullptr);
    if (target == nullptr) {
        (void)AskMessage(this, kMsgNotMultiplePut, MessageKind::Stop, MessageButtons::Ok);
        return false;
    }
    return target->LoadList(folder);
}

bool CSite::ImportFileList(const QString& givenPath) {
    QString path = givenPath;
    if (path.isEmpty()) {
        FileRequest request;
        request.kind = FileRequest::Kind::Open;
        request.title = tr("Import List of Files");
        const std::string dataDir = Read(keys::DataDir);
        request.folder = dataDir.empty() ? QDir::currentPath() : Q(dataDir);
        request.filter = QStringLiteral("Files (*.fls)");
        request.defaultSuffix = QStringLiteral("fls");
        const std::optional<QString> chosen = Prompt().ChooseFile(this, request);
        if (!chosen) return false;
        path = *chosen;
    }
    // The file is checked before anything is asked or changed.
    std::vector<std::string> records;
    const ProfileResult readable = ReadServerFileRecords(LocalPathBytes(path), records);
    if (readable.status == ProfileStatus::NotServerFile) {
        (void)AskMessage(this, kMsgNotServerFile, MessageKind::Stop, MessageButtons::Ok);
        return false;
    }
    if (!readable.ok()) {
        (void)AskText(this, Q(readable.text()), MessageKind::Stop, MessageButtons::Ok);
        return false;
    }
    ImportMode mode = ImportMode::Append;
    if (files_->RowCount() > 0) {
        ThreeButtonRequest ask;
        ask.title = MessageString(kMsgAppendOrReplaceTitle);
        ask.question = MessageString(kMsgAppendOrReplace);
        ask.buttons[0] = MessageString(kMsgAppend);
        ask.buttons[1] = MessageString(kMsgReplace);
        ask.buttons[2] = MessageString(kMsgCancel);
        const int answer = Prompt().ThreeButtons(this, ask);
        if (answer == 2) return false;
        mode = answer == 1 ? ImportMode::Replace : ImportMode::Append;
    }
    const FileImportResult imported = ::zyfar::ImportFileList(LocalPathBytes(path), files_->Items(), mode);
    if (imported.result.status == ProfileStatus::NotServerFile) {
        (void)AskMessage(this, kMsgNotServerFile, MessageKind::Stop, MessageButtons::Ok);
        return false;
    }
    if (!imported.result.ok()) {
        (void)AskText(this, Q(imported.result.text()), MessageKind::Stop, MessageButtons::Ok);
        return false;
    }
    const bool changed = imported.added > 0 || imported.updated > 0 || mode == ImportMode::Replace;
    if (!changed) return false;
    files_->SetList(imported.items, files_->ListFolder());
    files_->MarkChanged();
    if (imported.added > 0) (void)files_->SaveList();
    return true;
}

void CSite::RestoreSplitter() {
    const SplitterSizes s = ReadSplitterSizes(kSplitterName, 2, 2);
    if (s.rows.size() == 2) rows_->setSizes({s.rows[0], s.rows[1]});
    if (s.cols.size() == 2) {
        top_->setSizes({s.cols[0], s.cols[1]});
        bottom_->setSizes({s.cols[0], s.cols[1]});
    }
}

void CSite::SaveLayout() const {
    if (!isMinimized()) {
        WindowGeometry g;
        g.x = frameGeometry().x();
        g.y = frameGeometry().y();
        g.width = width();
        g.height = height();
        WriteWindowGeometry(sections::FilesWindow, g);
    }
    SplitterSizes s;
    for (int size : rows_->sizes()) s.rows.push_back(std::max(size, 1));
    for (int size : top_->sizes()) s.cols.push_back(std::max(size, 1));
    WriteSplitterSizes(kSplitterName, s);
}

bool CSite::HandleCommand(int id) {
    switch (id) {
    case cmd::SelectTreeItem: (void)SendListToScreen(); return true;
    case cmd::ImportPrevious: (void)ImportFileList(); return true;
    default: return false;
    }
}

std::optional<CommandState> CSite::CommandStateOf(int id) const {
    switch (id) {
    case cmd::SelectTreeItem: return CommandState{!CurrentListFolder().isEmpty(), std::nullopt};
    case cmd::ImportPrevious: return CommandState{};
    default: return std::nullopt;
    }
}

void CSite::closeEvent(QCloseEvent* event) {
    files_->AskToSaveChanges();
    SaveLayout();
    event->accept();
}

}  // namespace zyfar
