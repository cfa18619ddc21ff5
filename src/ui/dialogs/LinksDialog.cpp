#include "dialogs/LinksDialog.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/Prompter.h"
#include "config/HelpWindow.h"
#include "profiles/FileList.h"
#include "profiles/LinkFile.h"
#include "profiles/SiteProfile.h"

namespace zyfar {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string Std(const QString& s) { return s.toStdString(); }

QComboBox* Combo(const QString& name, const QString& placeholder, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setAccessibleName(name);
    combo->setPlaceholderText(placeholder);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(18);
    return combo;
}

void Fill(QComboBox* combo, const std::vector<NamedPath>& entries) {
    combo->clear();
    for (const NamedPath& e : entries) {
        combo->addItem(Q(e.name), Q(e.path));
        combo->setItemData(combo->count() - 1, Q(e.path), Qt::ToolTipRole);
    }
    combo->setCurrentIndex(-1);
}

QString PathAt(const QComboBox* combo, int index) { return combo->itemData(index).toString(); }

QPushButton* Button(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setAccessibleName(name);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

LinksDialog::LinksDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(kTitle);
    setAccessibleName(kTitle);

    links_ = Combo(QStringLiteral("Link"), QStringLiteral("Choose a link to show it"), this);
    profiles_ = Combo(QStringLiteral("Profiles"), QStringLiteral("Add a site profile"), this);
    fileLists_ = Combo(QStringLiteral("File List"), QStringLiteral("Choose a file list"), this);
    name_ = new QLineEdit(this);
    name_->setAccessibleName(QStringLiteral("Link Name"));
    sites_ = new QListWidget(this);
    sites_->setAccessibleName(QStringLiteral("Sites"));
    sites_->setToolTip(QStringLiteral("Double-click a site (or press Delete) to remove it from the link"));
    files_ = new QListWidget(this);
    files_->setAccessibleName(QStringLiteral("Files"));
    files_->setSelectionMode(QAbstractItemView::NoSelection);

    auto* linkLabel = new QLabel(QStringLiteral("&Link"), this);
    linkLabel->setBuddy(links_);
    auto* nameLabel = new QLabel(QStringLiteral("Link &Name:"), this);
    nameLabel->setBuddy(name_);

    auto* profilesBox = new QGroupBox(QStringLiteral("&Profiles"), this);
    auto* profilesLayout = new QVBoxLayout(profilesBox);
    profilesLayout->addWidget(profiles_);
    profilesLayout->addWidget(sites_);
    auto* filesBox = new QGroupBox(QStringLiteral("&File List"), this);
    auto* filesLayout = new QVBoxLayout(filesBox);
    filesLayout->addWidget(fileLists_);
    filesLayout->addWidget(files_);

    auto* add = Button(QStringLiteral("&Add"), QStringLiteral("Add"), this);
    rename_ = Button(QStringLiteral("&Rename"), QStringLiteral("Rename"), this);
    auto* remove = Button(QStringLiteral("&Delete"), QStringLiteral("Delete"), this);
    auto* reset = Button(QStringLiteral("R&eset"), QStringLiteral("Reset"), this);
    auto* help = Button(QStringLiteral("&Help"), QStringLiteral("Help"), this);
    auto* close = Button(QStringLiteral("Close"), QStringLiteral("Close"), this);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {add, rename_, remove, reset}) buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(help);
    buttons->addWidget(close);

    auto* top = new QGridLayout;
    top->addWidget(linkLabel, 0, 0);
    top->addWidget(links_, 0, 1);
    top->addWidget(nameLabel, 1, 0);
    top->addWidget(name_, 1, 1);
    top->setColumnStretch(1, 1);
    auto* lists = new QHBoxLayout;
    lists->addWidget(profilesBox, 1);
    lists->addWidget(filesBox, 2);
    auto* left = new QVBoxLayout;
    left->addLayout(top);
    left->addLayout(lists, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);
    resize(640, 400);

    // `activated` also comes when the entry chosen is the one already shown,
    // so that choosing a profile again is answered by the duplicate rule.
    connect(links_, &QComboBox::activated, this, &LinksDialog::ChooseLink);
    connect(profiles_, &QComboBox::activated, this, &LinksDialog::ChooseProfile);
    connect(fileLists_, &QComboBox::activated, this, &LinksDialog::ChooseFileList);
    connect(links_, &QComboBox::currentIndexChanged, this, &LinksDialog::UpdateButtons);
    connect(sites_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { RemoveSite(sites_->row(item)); });
    // From the keyboard: Delete removes the current site.
    auto* removeSite = new QAction(QStringLiteral("Remove site"), sites_);
    removeSite->setShortcut(QKeySequence::Delete);
    removeSite->setShortcutContext(Qt::WidgetShortcut);
    sites_->addAction(removeSite);
    connect(removeSite, &QAction::triggered, this, [this] { RemoveSite(sites_->currentRow()); });
    connect(add, &QPushButton::clicked, this, &LinksDialog::Add);
    connect(rename_, &QPushButton::clicked, this, &LinksDialog::Rename);
    connect(remove, &QPushButton::clicked, this, &LinksDialog::Delete);
    connect(reset, &QPushButton::clicked, this, &LinksDialog::Reset);
    connect(help, &QPushButton::clicked, this, &LinksDialog::helpRequested);
    InstallHelpKey(this, help);
    connect(close, &QPushButton::clicked, this, &LinksDialog::reject);

    FillCombos();
    UpdateButtons();
}

void LinksDialog::FillCombos() {
    knownLists_ = ListFileLists();
    Fill(fileLists_, knownLists_);
    Fill(profiles_, ListSiteProfiles());
    Fill(links_, ListLinks());
}

void LinksDialog::ShowSites() {
    sites_->clear();
    for (const LinkDraftSite& site : draft_.Sites()) {
        // A profile that is gone has no host; its file name tells which it was.
        const QString shown = site.host.empty()
                                  ? QStringLiteral("(no host: %1)").arg(QFileInfo(Q(site.profilePath)).completeBaseName())
                                  : Q(site.host);
        auto* item = new QListWidgetItem(shown, sites_);
        item->setData(Qt::UserRole, Q(site.profilePath));
        item->setToolTip(Q(site.profilePath));
    }
}

void LinksDialog::ShowFiles() {
    files_->clear();
    QStringList paths;
    paths.reserve(static_cast<qsizetype>(draft_.Files().size()));
    for (const std::string& path : draft_.Files()) paths << Q(path);
    files_->addItems(paths);
}

void LinksDialog::ClearLinkChoice() {
    links_->setCurrentIndex(-1);
    name_->clear();
}

void LinksDialog::UpdateButtons() { rename_->setEnabled(links_->currentIndex() >= 0); }

void LinksDialog::Report(const ProfileResult& result) {
    MessageRequest request;
    request.id = result.messageId();
    request.text = Q(result.text());
    request.kind = MessageKind::Stop;
    request.buttons = MessageButtons::Ok;
    (void)Prompt().Message(this, request);
}

int LinksDialog::LinkIndexOf(const QString& path) const { return links_->findData(path); }

void LinksDialog::InsertLink(const QString& name, const QString& path) {
    int at = 0;
    while (at < links_->count() && QString::compare(links_->itemText(at), name, Qt::CaseInsensitive) <= 0) ++at;
    links_->insertItem(at, name, path);
    links_->setItemData(at, path, Qt::ToolTipRole);
}

void LinksDialog::ChooseLink(int index) {
    if (index < 0 || index >= links_->count()) return;
    std::optional<std::size_t> chosen;
    draft_.LoadLink(Std(PathAt(links_, index)), knownLists_, &chosen);
    ShowSites();
    ShowFiles();
    fileLists_->setCurrentIndex(chosen ? static_cast<int>(*chosen) : -1);
    profiles_->setCurrentIndex(-1);
    name_->setText(links_->itemText(index));
}

void LinksDialog::ChooseProfile(int index) {
    if (index < 0 || index >= profiles_->count()) return;
    const QString path = PathAt(profiles_, index);
    if (draft_.AddSiteProfile(Std(path)) == SiteAddOutcome::NoHost) {
        (void)AskText(this,
                      QStringLiteral("The site profile \"%1\" names no FTP site; it was not added.\n%2")
                          .arg(profiles_->itemText(index), path),
                      MessageKind::Stop, MessageButtons::Ok);
    }
    ShowSites();
    ClearLinkChoice();
}

void LinksDialog::ChooseFileList(int index) {
    if (index < 0 || index >= fileLists_->count()) return;
    (void)draft_.ChooseFileList(Std(PathAt(fileLists_, index)));
    ShowFiles();
    ClearLinkChoice();
}

void LinksDialog::RemoveSite(int row) {
    if (row < 0 || !draft_.RemoveSite(static_cast<std::size_t>(row))) return;
    ShowSites();
}

void LinksDialog::Add() {
    std::string saved;
    const ProfileResult result = draft_.Save(Std(name_->text()), &saved);
    if (!result.ok()) {
        Report(result);
        return;
    }
    const QString path = Q(LinkFilePath(saved));
    Reset();
    if (LinkIndexOf(path) < 0) {
        InsertLink(Q(saved), path);
        emit linkAdded(path);
    }
}

void LinksDialog::Rename() {
    const int index = links_->currentIndex();
    if (index < 0) return;  // the button is disabled then
    const QString oldPath = PathAt(links_, index);
    std::string newName;
    const ProfileResult result = RenameLinkFile(Std(oldPath), Std(name_->text()), &newName);
    if (!result.ok()) {
        Report(result);
        return;
    }
    const QString newPath = QFileInfo(oldPath).path() + QLatin1Char('/') + Q(newName) + QStringLiteral(".ini");
    links_->removeItem(index);
    InsertLink(Q(newName), newPath);
    links_->setCurrentIndex(LinkIndexOf(newPath));
    name_->setText(Q(newName));
    emit linkRenamed(oldPath, newPath);
}

void LinksDialog::Delete() {
    const int index = links_->currentIndex();
    if (index < 0) {
        (void)AskMessage(this, 315, MessageKind::Stop, MessageButtons::Ok);
        return;
    }
    const QString path = PathAt(links_, index);
    Reset();
    const ProfileResult result = DeleteLinkFile(Std(path));
    // A link whose file is gone already is dropped from the list all the same.
    if (!result.ok() && result.status != ProfileStatus::DoesNotExist) {
        Report(result);
        return;
    }
    links_->removeItem(LinkIndexOf(path));
    links_->setCurrentIndex(-1);
    emit linkDeleted(path);
}

void LinksDialog::Reset() {
    draft_.Clear();
    ShowSites();
    ShowFiles();
    name_->clear();
    for (QComboBox* combo : {links_, profiles_, fileLists_}) combo->setCurrentIndex(-1);
}

}  // namespace zyfar
