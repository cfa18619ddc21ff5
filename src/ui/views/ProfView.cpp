#include "views/ProfView.h"

#include <QStyle>

#include "profiles/SiteProfile.h"
#include "views/TextRowsModel.h"

namespace zyfar {
namespace {
constexpr int kPathText = 6;  // the file's path, kept after the shown columns
}

CProfView::CProfView(QWidget* parent) : CZyfarView(parent) {
    rows_ = new TextRowsModel({QStringLiteral("Name"), QStringLiteral("Host"), QStringLiteral("Login"),
                               QStringLiteral("Password"), QStringLiteral("Remote Directory"),
                               QStringLiteral("Port")});
    rows_->SetRowIcon(QIcon::fromTheme(QStringLiteral("network-server"), style()->standardIcon(QStyle::SP_DriveNetIcon)));
    SetModel(rows_);
    SetColumnWidth(0, 100);
    SetAccessibleName(QStringLiteral("Site profiles"));
}

void CProfView::Load(const QString& folder) {
    folder_ = folder;
    DeleteAllRows();
    QList<QStringList> rows;
    for (const NamedPath& file : ListIniFilesIn(folder.toStdString())) {
        const SiteProfile p = ReadSiteProfile(file.path);
        rows.append({QString::fromStdString(file.name), QString::fromStdString(p.host),
                     QString::fromStdString(p.user), QStringLiteral("****"), QString::fromStdString(p.remotePath),
                     QString::fromStdString(p.port), QString::fromStdString(file.path)});
    }
    rows_->AppendRows(rows);
}

void CProfView::Reload() {
    const QStringList selected = SelectedPaths();
    Load(folder_);
    for (const QString& path : selected)
        if (const int row = RowOfPath(path); row >= 0) SelectRow(row, false);
}

QString CProfView::NameOfRow(int row) const { return rows_->Row(row).value(0); }
QString CProfView::PathOfRow(int row) const { return rows_->Row(row).value(kPathText); }

QStringList CProfView::SelectedPaths() const {
    QStringList out;
    for (const int row : SelectedRows()) out << PathOfRow(row);
    return out;
}

int CProfView::RowOfPath(const QString& path) const {
    for (int row = 0; row < rows_->RowCount(); ++row)
        if (PathOfRow(row) == path) return row;
    return -1;
}

void CProfView::OnDoubleClick(int row) { emit rowActivated(row); }
void CProfView::DeleteSelection() { emit deleteRequested(); }

void CProfView::DropOperation(const DropInfo& info) {
    QStringList paths;
    for (const int row : info.rows)
        if (row >= 0 && row < rows_->RowCount()) paths << PathOfRow(row);
    if (!paths.isEmpty()) emit profilesDropped(paths, info);
}

}  // namespace zyfar
