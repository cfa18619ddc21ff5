#pragma once
// The site list of the Multiple FTP Put screen: the servers a list of files
// is sent to. Columns "Distant Site", "Login", "Password" (always "****"),
// "File Folder" and "Encryption" (the site's FTP over TLS: "None",
// "Explicit TLS", "Implicit TLS"), 100 pixels each; a click on a heading
// sorts by that column's text without regard to case.
//
// Add an FTP site (1121) opens the FTP Site dialog empty and appends what was
// entered; Update (1122, or a double-click) edits the first selected row
// (its host stays); Delete (1123) removes the selected rows. A site profile
// picked in the profile bar or dropped from the profile window adds its
// server unless a row with the same host is there already. Send Parallel and
// Send Serial (1133, 1134) are the main window's: it calls SendFromScreen
// (MultiPutSend.h) with this list and the screen's files view.
#include <QString>
#include <vector>

#include "engine/TransferJob.h"
#include "views/ZyfarView.h"

namespace zyfar {

class SiteRowsModel : public ZyfarListModel {
    Q_OBJECT
public:
    explicit SiteRowsModel(QObject* parent = nullptr);

    void Append(const CTransferSite& site);
    void Replace(int row, const CTransferSite& site);
    [[nodiscard]] const std::vector<CTransferSite>& Sites() const { return sites_; }

    [[nodiscard]] int ColumnCount() const override { return 5; }
    [[nodiscard]] QString HeaderText(int column) const override;
    [[nodiscard]] int RowCount() const override { return static_cast<int>(sites_.size()); }
    [[nodiscard]] QString CellText(int row, int column) const override;
    [[nodiscard]] QIcon RowIcon(int row) const override;
    void PermuteRecords(const std::vector<int>& newOrder) override;
    void EraseRecords(int first, int count) override;

private:
    std::vector<CTransferSite> sites_;
    QIcon icon_;
};

class CFtpView : public CZyfarView {
    Q_OBJECT
public:
    explicit CFtpView(QWidget* parent = nullptr);

    [[nodiscard]] const std::vector<CTransferSite>& Sites() const { return rows_->Sites(); }
    // Appends a row as it is (Add an FTP site has no duplicate check).
    void AppendSite(const CTransferSite& site);
    // Appends unless a row with the same host is there; true when added.
    bool AddSiteUnlessPresent(const CTransferSite& site);
    // A site profile file (section "Settings": Host, User, Password, Remote
    // Path, Port default 21, Encryption default none): added unless its host is listed already or the
    // profile names no host. True when a row was added.
    bool AddProfile(const QString& profilePath);

    // 1121 and 1122 (the FTP Site dialog through the Prompter).
    void AddSite();
    void UpdateSite(int row);

    bool HandleCommand(int id) override;
    [[nodiscard]] std::optional<CommandState> CommandStateOf(int id) const override;
    void OnDoubleClick(int row) override;

private:
    SiteRowsModel* rows_;
};

// The server of a site profile file as a site-list row (port 21 when absent
// or not a port).
[[nodiscard]] CTransferSite SiteOfProfileFile(const QString& profilePath);

}  // namespace zyfar
