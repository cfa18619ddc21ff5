#include "dialogs/ProfileWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStandardItem>
#include <QTimer>

#include "app/PaneSplitter.h"
#include "app/ScreenPanes.h"
#include "dialogs/ProfileSiteForm.h"
#include "dialogs/Prompter.h"
#include "config/HelpWindow.h"
#include "profiles/Imports.h"
#include "profiles/SiteProfile.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"
#include "views/DiskFolderTree.h"
#include "views/ProfView.h"
#include "views/RemoteTree.h"

namespace zyfar {
namespace {

QPointer<CProfile> g_window;

QString Q(const std::string& s) { return QString::fromStdString(s); }

QStringList ToQStrings(const std::vector<std::string>& names) {
    QStringList out;
    for (const std::string& n : names) out << Q(n);
    return out;
}

struct CommandText {
    int id;
    const char* text;
};

constexpr CommandText kCommandTexts[] = {
    {profcmd::ImportSites, "&Import from previous Zyfar Version"},
    {profcmd::CloseScreen, "&Close Screen"},
    {profcmd::NewSite, "&New Site"},
    {profcmd::UpdateSite, "&Update Site Information"},
    {profcmd::DeleteSite, "&Delete Site"},
    {profcmd::RenameSite, "&Rename Site"},
    {profcmd::SelectItem, "&Select item"},
    {profcmd::SelectTreeItem, "Select &Tree Item"},
    {cmd::NewItem, "&Create New Item"},
    {cmd::RenameItem, "&Rename Item"},
    {cmd::DeleteItem, "De&lete Item"},
};

}  // namespace

CProfile::CProfile(QWidget* target, QWidget* parent) : QMainWindow(parent), target_(target) {
    setWindowTitle(MessageString(353));
    setAccessibleName(MessageString(353));
    (void)EnsureProfileFolders();

    splitter_ = new PaneSplitter("Profile\\split1", Qt::Horizontal, this);
    tree_ = new CDiskFolderTree(DiskFolderKind::SiteProfiles, splitter_);
    tree_->SetAccessibleName(QStringLiteral("Profile folders"));
    list_ = new CProfView(splitter_);
    form_ = new ProfileSiteForm(splitter_);
    splitter_->addWidget(tree_);
    splitter_->addWidget(list_);
    splitter_->addWidget(form_);
    setCentralWidget(splitter_);
    tree_->SetList(list_);

    connect(tree_, &CDiskFolderTree::folderSelected, list_, &CProfView::Load);
    connect(tree_, &CDiskFolderTree::folderCreated, this, &CProfile::profileFolderCreated);
    connect(tree_, &CDiskFolderTree::folderRenamed, this, [this](const QString& from, const QString& to) {
        const QString shown = list_->Folder();
        if (shown == from || shown.startsWith(from + QLatin1Char('/'))) list_->Load(to + shown.mid(from.size()));
        emit profileFolderRenamed(from, to);
    });
    connect(tree_, &CDiskFolderTree::folderDeleted, this, &CProfile::profileFolderDeleted);
    connect(tree_, &CDiskFolderTree::linksDropped, this, &CProfile::linksDropped);
    connect(list_, &CProfView::rowActivated, this, [this](int) { UpdateSite(); });
    connect(list_, &CProfView::deleteRequested, this, &CProfile::DeleteSites);
    connect(list_, &CProfView::profilesDropped, this, &CProfile::OnProfilesDropped);
    connect(form_, &ProfileSiteForm::okClicked, this, [this] { (void)SaveForm(); });
    connect(form_, &ProfileSiteForm::cancelClicked, this, &CProfile::CancelForm);

    BuildMenu();
    tree_->SetRoot(Q(ProfilesFolder()), QStringLiteral("Profiles"));
    const WindowGeometry g = ReadWindowGeometry(sections::ProfileWindow);
    move(g.x, g.y);
    resize(std::max(g.width, 1), std::max(g.height, 1));
}

CProfile::~CProfile() = default;

CProfile* CProfile::Open(QWidget* target, bool* created) {
    const bool make = g_window.isNull();
    if (make) {
        g_window = new CProfile(target);
        g_window->setAttribute(Qt::WA_DeleteOnClose);
        g_window->show();
        g_window->RestoreLayout();
    } else {
        g_window->SetTarget(target);
        g_window->showNormal();
        g_window->raise();
        g_window->activateWindow();
    }
    if (created) *created = make;
    return g_window;
}

CProfile* CProfile::Instance() { return g_window; }

QAction* CProfile::ActionOf(int id) const { return actions_.value(id); }

QString CProfile::SelectedFolder() const { return list_->Folder(); }

void CProfile::BuildMenu() {
    for (const CommandText& c : kCommandTexts) {
        auto* action = new QAction(QString::fromLatin1(c.text), this);
        QString plain = action->text();
        action->setObjectName(plain.remove(QLatin1Char('&')));
        connect(action, &QAction::triggered, this, [this, id = c.id] { (void)HandleCommand(id); });
        actions_.insert(c.id, action);
    }
    auto add = [this](QMenu* menu, std::initializer_list<int> ids) {
        for (const int id : ids) {
            if (id == 0)
                menu->addSeparator();
            else
                menu->addAction(actions_.value(id));
        }
        connect(menu, &QMenu::aboutToShow, this, &CProfile::UpdateActionStates);
    };
    add(menuBar()->addMenu(QStringLiteral("&File")), {profcmd::ImportSites, 0, profcmd::CloseScreen});
    add(menuBar()->addMenu(QStringLiteral("&Sites")), {profcmd::NewSite, profcmd::UpdateSite, profcmd::RenameSite,
                                                      profcmd::DeleteSite, 0, profcmd::SelectItem});
    add(menuBar()->addMenu(QStringLiteral("F&olders")),
        {cmd::NewItem, cmd::RenameItem, cmd::DeleteItem, 0, profcmd::SelectTreeItem});
    treeMenu_ = new QMenu(this);
    add(treeMenu_, {cmd::NewItem, cmd::RenameItem, cmd::DeleteItem, 0, profcmd::SelectTreeItem});
    listMenu_ = new QMenu(this);
    add(listMenu_, {profcmd::NewSite, profcmd::UpdateSite, profcmd::RenameSite, profcmd::DeleteSite, 0,
                    profcmd::SelectItem});
    menuBar()->addAction(QStringLiteral("&Help"), this, [] { ShowHelp(QStringLiteral("profiles")); });
    InstallHelpKey(this, QStringLiteral("profiles"));
    tree_->SetContextMenu(treeMenu_);
    list_->SetContextMenu(listMenu_);
    UpdateActionStates();
}

void CProfile::UpdateActionStates() {
    for (auto it = actions_.constBegin(); it != actions_.constEnd(); ++it) {
        const std::optional<CommandState> state = CommandStateOf(it.key());
        it.value()->setEnabled(state && state->enabled);
    }
}

bool CProfile::HandleCommand(int id) {
    switch (id) {
    case profcmd::ImportSites: ImportSites(); return true;
    case profcmd::CloseScreen: close(); return true;
    case profcmd::NewSite: NewSite(); return true;
    case profcmd::UpdateSite: UpdateSite(); return true;
    case profcmd::DeleteSite: DeleteSites(); return true;
    case profcmd::RenameSite: RenameSite(); return true;
    case profcmd::SelectItem: SelectItems(); return true;
    case profcmd::SelectTreeItem: SelectTreeItem(); return true;
    case cmd::NewItem:
    case cmd::RenameItem:
    case cmd::DeleteItem:
        if (form_->Mode() != SiteFormMode::Idle) return true;
        return tree_->HandleCommand(id);
    default: return false;
    }
}

std::optional<CommandState> CProfile::CommandStateOf(int id) const {
    const bool idle = form_->Mode() == SiteFormMode::Idle;
    const bool selected = !list_->SelectedRows().empty();
    switch (id) {
    case profcmd::CloseScreen: return CommandState{};
    case profcmd::ImportSites:
    case profcmd::NewSite: return CommandState{idle, std::nullopt};
    case profcmd::UpdateSite:
    case profcmd::RenameSite: return CommandState{idle && list_->SelectedRows().size() == 1, std::nullopt};
    case profcmd::DeleteSite:
    case profcmd::SelectItem: return CommandState{idle && selected, std::nullopt};
    case profcmd::SelectTreeItem: return CommandState{idle && target_ != nullptr, std::nullopt};
    case cmd::NewItem:
    case cmd::RenameItem:
    case cmd::DeleteItem: {
        const std::optional<CommandState> s = tree_->CommandStateOf(id);
        return CommandState{idle && s && s->enabled, std::nullopt};
    }
    default: return std::nullopt;
    }
}

void CProfile::ShowResult(int messageId, const QString& text) {
    if (messageId != 0)
        (void)AskMessage(this, messageId, MessageKind::Stop, MessageButtons::Ok);
    else
        (void)AskText(this, text, MessageKind::Stop, MessageButtons::Ok);
}

// ---- The site form ----

void CProfile::SetFormMode(bool editing) {
    tree_->setEnabled(!editing);
    list_->setEnabled(!editing);
    if (!editing) form_->Stop();
    UpdateActionStates();
}

void CProfile::NewSite() {
    if (form_->Mode() != SiteFormMode::Idle) return;
    SiteProfile blank;
    blank.port = std::to_string(ReadInt(keys::Port));
    editPath_.clear();
    form_->Start(SiteFormMode::New, QString(), blank);
    SetFormMode(true);
    form_->NameField()->setFocus();
}

void CProfile::UpdateSite() {
    if (form_->Mode() != SiteFormMode::Idle) return;
    const std::vector<int> rows = list_->SelectedRows();
    if (rows.size() != 1) {
        if (rows.empty()) ShowResult(179, QString());
        return;
    }
    editPath_ = list_->PathOfRow(rows.front());
    form_->Start(SiteFormMode::Update, list_->NameOfRow(rows.front()), ReadSiteProfile(editPath_.toStdString()));
    SetFormMode(true);
}

bool CProfile::SaveForm() {
    const SiteFormMode mode = form_->Mode();
    if (mode == SiteFormMode::Idle) return true;
    const QString folder =
        mode == SiteFormMode::Update ? Q(ParentFolderOf(editPath_.toStdString())) : list_->Folder();
    std::string saved;
    const ProfileResult r = SaveSiteProfile(folder.toStdString(), form_->Name().toStdString(), form_->Profile(),
                                            mode == SiteFormMode::New ? SaveMode::New : SaveMode::Update, &saved);
    if (!r.ok()) {
        ShowResult(r.messageId(), Q(r.text()));
        return false;
    }
    SetFormMode(false);
    list_->Reload();
    const QString path = Q(saved);
    list_->UnselectAllRows();
    if (const int row = list_->RowOfPath(path); row >= 0) list_->SelectRow(row);
    if (mode == SiteFormMode::New) emit siteProfileCreated(Q(NameOfEntryFile(FileNameOf(saved))), path);
    return true;
}

void CProfile::CancelForm() { SetFormMode(false); }

// ---- Site commands ----

void CProfile::DeleteSites() {
    if (form_->Mode() != SiteFormMode::Idle) return;
    const QStringList paths = list_->SelectedPaths();
    if (paths.isEmpty()) {
        ShowResult(179, QString());
        return;
    }
    bool askEach = true;
    for (const QString& path : paths) {
        if (askEach) {
            ThreeButtonRequest q;
            q.title = QStringLiteral("Delete Site");
            q.question = QStringLiteral("About to remove file %1!").arg(path);
            q.buttons[0] = QStringLiteral("Yes");
            q.buttons[1] = paths.size() > 1 ? QStringLiteral("Yes To All") : QString();
            q.buttons[2] = QStringLiteral("Cancel");
            const int answer = Prompt().ThreeButtons(this, q);
            if (answer == 2 || answer < 0 || answer > 2) break;
            if (answer == 1) askEach = false;
        }
        std::vector<std::string> links;
        const ProfileResult r = DeleteSiteProfile(path.toStdString(), &links);
        if (!links.empty()) emit linksDropped(ToQStrings(links));
        if (!r.ok()) {
            ShowResult(r.messageId(), Q(r.text()));
            break;
        }
        emit siteProfileDeleted(path);
    }
    list_->Reload();
}

void CProfile::RenameSite() {
    if (form_->Mode() != SiteFormMode::Idle) return;
    const std::vector<int> rows = list_->SelectedRows();
    if (rows.empty()) {
        ShowResult(179, QString());
        return;
    }
    const int row = list_->CurrentRow() >= 0 && list_->SelectionModel()->isRowSelected(list_->CurrentRow())
                        ? list_->CurrentRow()
                        : rows.front();
    const QString oldPath = list_->PathOfRow(row);
    const std::optional<QString> typed =
        Prompt().InputLine(this, {QStringLiteral("Rename Site"), QStringLiteral("Profile Name:"), list_->NameOfRow(row)});
    if (!typed || *typed == list_->NameOfRow(row)) return;
    std::string newPath;
    const ProfileResult r = RenameSiteProfile(oldPath.toStdString(), typed->toStdString(), &newPath);
    if (!r.ok()) {
        ShowResult(r.messageId(), Q(r.text()));
        return;
    }
    list_->Reload();
    if (const int now = list_->RowOfPath(Q(newPath)); now >= 0) list_->SelectRow(now);
    if (Q(newPath) != oldPath) emit siteProfileRenamed(oldPath, Q(newPath));
}

int CProfile::MoveProfiles(const QStringList& paths, const QString& folder) {
    int moved = 0;
    for (const QString& path : paths) {
        if (Q(ParentFolderOf(path.toStdString())) == folder) continue;
        std::string newPath;
        const ProfileResult r = MoveSiteProfile(path.toStdString(), folder.toStdString(), &newPath);
        if (!r.ok()) {
            ShowResult(r.messageId(), Q(r.text()));
            break;
        }
        ++moved;
        emit siteProfileRenamed(path, Q(newPath));
    }
    list_->Reload();
    return moved;
}

void CProfile::SelectItems() {
    if (form_->Mode() != SiteFormMode::Idle) return;
    const QStringList paths = list_->SelectedPaths();
    if (paths.isEmpty()) {
        ShowResult(179, QString());
        return;
    }
    if (target_.isNull()) return;
    if (qobject_cast<CRemoteTree*>(target_.data()) != nullptr) {
        if (paths.size() == 1) ConnectPaneWithProfile(target_, paths.front());
        return;
    }
    for (const QString& path : paths) AddSiteProfileToPane(path, target_);
}

void CProfile::SelectTreeItem() {
    if (form_->Mode() != SiteFormMode::Idle || target_.isNull()) return;
    if (qobject_cast<CRemoteTree*>(target_.data()) != nullptr) return;
    for (const NamedPath& p : ListIniFilesIn(tree_->CurrentFolder().toStdString()))
        AddSiteProfileToPane(Q(p.path), target_);
}

void CProfile::OnProfilesDropped(const QStringList& paths, const DropInfo& info) {
    if (form_->Mode() != SiteFormMode::Idle) return;
    if (info.targetTree == tree_) {
        if (!info.targetFolder.isEmpty()) (void)MoveProfiles(paths, info.targetFolder);
        return;
    }
    if (auto* remote = qobject_cast<CRemoteTree*>(info.targetTree.data())) {
        ConnectPaneWithProfile(remote, paths.front());
        return;
    }
    if (!info.targetList.isNull())
        for (const QString& path : paths) AddSiteProfileToPane(path, info.targetList);
}

// ---- Import ----

void CProfile::ImportSites() {
    if (form_->Mode() != SiteFormMode::Idle) return;
    FileRequest request;
    request.kind = FileRequest::Kind::Open;
    request.title = QStringLiteral("Import from previous Zyfar Version");
    const std::string dataDir = Read(keys::DataDir);
    request.folder = dataDir.empty() ? QDir::currentPath() : Q(dataDir);
    request.filter = QStringLiteral("Sites *.sts (*.sts)");
    request.defaultSuffix = QStringLiteral("sts");
    const std::optional<QString> file = Prompt().ChooseFile(this, request);
    if (!file) return;
    const SiteImportResult r = ImportSiteList(file->toStdString(), list_->Folder().toStdString());
    if (!r.result.ok()) {
        ShowResult(r.result.messageId(), Q(r.result.text()));
        return;
    }
    list_->Reload();
    for (const NamedPath& p : r.created) emit siteProfileCreated(Q(p.name), Q(p.path));
}

// ---- Geometry and closing ----

void CProfile::RestoreLayout() {
    const WindowGeometry g = ReadWindowGeometry(sections::ProfileWindow);
    move(g.x, g.y);
    resize(std::max(g.width, 1), std::max(g.height, 1));
    splitter_->Restore();
}

void CProfile::SaveLayout() const {
    if (!isVisible() || isMinimized()) return;
    WindowGeometry g;
    g.x = frameGeometry().x();
    g.y = frameGeometry().y();
    g.width = width();
    g.height = height();
    WriteWindowGeometry(sections::ProfileWindow, g);
    splitter_->Save();
}

void CProfile::closeEvent(QCloseEvent* event) {
    if (form_->Mode() != SiteFormMode::Idle && form_->Changed()) {
        const MessageAnswer answer = AskMessage(this, 33053, MessageKind::Question, MessageButtons::YesNoCancel);
        if (answer == MessageAnswer::Cancel || (answer == MessageAnswer::Yes && !SaveForm())) {
            event->ignore();
            return;
        }
    }
    SaveLayout();
    event->accept();
}

}  // namespace zyfar
