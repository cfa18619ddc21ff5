#include "views/FtpView.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>

#include "dialogs/Prompter.h"
#include "dialogs/SiteDialog.h"
#include "ftp/SessionSettings.h"
#include "profiles/SiteProfile.h"
#include "views/ViewMenu.h"

namespace zyfar {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
constexpr int kColumnWidth = 100;
}  // namespace

// ---- the model ----

SiteRowsModel::SiteRowsModel(QObject* parent)
    : ZyfarListModel(parent), icon_(QApplication::style()->standardIcon(QStyle::SP_DriveNetIcon)) {}

void SiteRowsModel::Append(const CTransferSite& site) {
    BeginAppendRows(1);
    sites_.push_back(site);
    EndAppendRows();
}

void SiteRowsModel::Replace(int row, const CTransferSite& site) {
    if (row < 0 || row >= RowCount()) return;
    sites_[static_cast<std::size_t>(row)] = site;
    emit dataChanged(index(row, 0), index(row, ColumnCount() - 1));
}

QString SiteRowsModel::HeaderText(int column) const {
    switch (column) {
    case 0: return QStringLiteral("Distant Site");
    case 1: return QStringLiteral("Login");
    case 2: return QStringLiteral("Password");
    case 3: return QStringLiteral("File Folder");
    case 4: return QStringLiteral("Encryption");
    default: return {};
    }
}

QString SiteRowsModel::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount()) return {};
    const CTransferSite& s = sites_[static_cast<std::size_t>(row)];
    switch (column) {
    case 0: return Q(s.host);
    case 1: return Q(s.login);
    case 2: return QStringLiteral("****");  // never the password itself
    case 3: return Q(s.remoteDir);
    case 4: return EncryptionShortText(s.encryption);
    default: return {};
    }
}

QIcon SiteRowsModel::RowIcon(int row) const {
    (void)row;
    return icon_;
}

void SiteRowsModel::PermuteRecords(const std::vector<int>& newOrder) {
    std::vector<CTransferSite> sorted;
    sorted.reserve(sites_.size());
    for (int old : newOrder) sorted.push_back(std::move(sites_[static_cast<std::size_t>(old)]));
    sites_ = std::move(sorted);
}

void SiteRowsModel::EraseRecords(int first, int count) {
    sites_.erase(sites_.begin() + first, sites_.begin() + first + count);
}

// ---- the view ----

CTransferSite SiteOfProfileFile(const QString& profilePath) {
    const SiteProfile p = ReadSiteProfile(profilePath.toStdString());
    CTransferSite site;
    site.host = p.host;
    site.login = p.user;
    site.password = p.password;
    site.remoteDir = p.remotePath;
    site.port = static_cast<std::uint16_t>(SiteProfilePort(p));
    site.encryption = SiteProfileEncryption(p);
    return site;
}

CFtpView::CFtpView(QWidget* parent) : CZyfarView(parent) {
    rows_ = new SiteRowsModel;
    SetModel(rows_);
    SetAccessibleName(QStringLiteral("Target FTP sites"));
    for (int c = 0; c < rows_->ColumnCount(); ++c) SetColumnWidth(c, kColumnWidth);
    ReportView()->header()->setSectionsMovable(true);
}

void CFtpView::AppendSite(const CTransferSite& site) { rows_->Append(site); }

bool CFtpView::AddSiteUnlessPresent(const CTransferSite& site) {
    for (const CTransferSite& s : Sites())
        if (s.host == site.host) return false;
    rows_->Append(site);
    return true;
}

bool CFtpView::AddProfile(const QString& profilePath) {
    const CTransferSite site = SiteOfProfileFile(profilePath);
    // A profile without a server (or a file that is gone) is no target.
    if (site.host.empty()) return false;
    return AddSiteUnlessPresent(site);
}

namespace {

CTransferSite SiteOfFields(const SiteFields& f, CTransferSite site) {
    site.host = f.host.toStdString();
    site.login = f.login.toStdString();
    site.password = f.password.toStdString();
    site.remoteDir = f.folder.toStdString();
    bool ok = false;
    const uint port = f.port.trimmed().toUInt(&ok);
    site.port = ok && port >= 1 && port <= 65535 ? static_cast<std::uint16_t>(port)
                                                  : static_cast<std::uint16_t>(DefaultPortFor(f.encryption));
    site.encryption = f.encryption;
    return site;
}

}  // namespace

void CFtpView::AddSite() {
    SiteFields blank;
    blank.encryption = DefaultEncryption();  // a site without a profile: the quick-connect default
    const std::optional<SiteFields> fields = Prompt().EditSite(this, blank);
    if (!fields) return;
    AppendSite(SiteOfFields(*fields, CTransferSite{}));
}

void CFtpView::UpdateSite(int row) {
    if (row < 0 || row >= RowCount()) return;
    const CTransferSite old = Sites()[static_cast<std::size_t>(row)];
    SiteFields shown;
    shown.host = Q(old.host);
    shown.login = Q(old.login);
    shown.password = Q(old.password);
    shown.folder = Q(old.remoteDir);
    shown.port = QString::number(old.port);
    shown.hostEditable = false;
    shown.encryption = old.encryption;
    const std::optional<SiteFields> fields = Prompt().EditSite(this, shown);
    if (!fields) return;
    CTransferSite updated = SiteOfFields(*fields, old);
    updated.host = old.host;  // the host stays
    rows_->Replace(row, updated);
}

bool CFtpView::HandleCommand(int id) {
    switch (id) {
    case cmd::AddSite: AddSite(); return true;
    case cmd::UpdateSite: {
        const std::vector<int> rows = SelectedRows();
        if (!rows.empty()) UpdateSite(rows.front());
        return true;
    }
    default: return CZyfarView::HandleCommand(id);
    }
}

std::optional<CommandState> CFtpView::CommandStateOf(int id) const {
    switch (id) {
    case cmd::AddSite: return CommandState{};
    case cmd::UpdateSite: return CommandState{!SelectedRows().empty(), std::nullopt};
    default: return CZyfarView::CommandStateOf(id);
    }
}

void CFtpView::OnDoubleClick(int row) { UpdateSite(row); }

}  // namespace zyfar
