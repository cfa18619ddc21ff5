#pragma once
// The list of the profile window: the site profiles of one folder, one row
// per "*.ini" file, with name, server, login, "****" for the password, remote
// directory and port. Rows dragged onto a folder of the profile tree move
// there, onto a remote tree connect it, onto the Multiple Put site list add
// their sites (the window decides: profilesDropped).
#include <QString>
#include <QStringList>

#include "views/ZyfarView.h"

namespace zyfar {

class TextRowsModel;

class CProfView : public CZyfarView {
    Q_OBJECT
public:
    explicit CProfView(QWidget* parent = nullptr);

    // Lists the profiles of a folder (replacing the rows).
    void Load(const QString& folder);
    [[nodiscard]] QString Folder() const { return folder_; }
    // Lists the folder again, keeping the selection of the same files.
    void Reload();

    [[nodiscard]] QString NameOfRow(int row) const;
    [[nodiscard]] QString PathOfRow(int row) const;
    [[nodiscard]] QStringList SelectedPaths() const;
    [[nodiscard]] int RowOfPath(const QString& path) const;

    void OnDoubleClick(int row) override;
    void DeleteSelection() override;
    void DropOperation(const DropInfo& info) override;
    [[nodiscard]] bool AcceptsDrops() const override { return false; }

signals:
    void rowActivated(int row);
    void deleteRequested();
    // The profiles `paths` were dropped on another view (info says where).
    void profilesDropped(const QStringList& paths, const zyfar::DropInfo& info);

private:
    TextRowsModel* rows_;
    QString folder_;
};

}  // namespace zyfar
