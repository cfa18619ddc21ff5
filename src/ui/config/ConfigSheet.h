#pragma once
// The "System Config" sheet: eight pages (FTP, Proxies, System, Log, Ascii
// Transfer Settings, Sounds, Queue, Misc) that edit the settings store.
//
// A page reads its keys when it is first shown. OK checks every page that
// was shown and, when all of them pass, stores them in tab order and closes;
// a page that does not pass says why, becomes the current page, and nothing
// is stored. Apply checks and stores the current page only and is enabled
// while that page has changes. Cancel (and Escape, and closing the window)
// stores nothing further. Help asks for the current page's topic.
//
// Opened modally with exec(); after OK (exec() answers Accepted) the caller
// re-reads what depends on the settings. Apply may have stored pages even
// when the sheet is cancelled afterwards: AnythingStored() tells.
#include <QDialog>
#include <QString>
#include <vector>

class QDialogButtonBox;
class QPushButton;
class QTabWidget;

namespace zyfar {

class ConfigPage;

class ConfigSheet : public QDialog {
    Q_OBJECT
public:
    enum PageIndex { FtpTab, ProxiesTab, SystemTab, LogTab, AsciiTab, SoundsTab, QueueTab, MiscTab, PageCount };

    explicit ConfigSheet(QWidget* parent = nullptr);

    // The pages in tab order; for tests.
    [[nodiscard]] const std::vector<ConfigPage*>& Pages() const { return pages_; }
    [[nodiscard]] int CurrentPage() const;
    // Shows a page (reading its keys the first time).
    void SetCurrentPage(int index);

    // True once OK or Apply stored a page.
    [[nodiscard]] bool AnythingStored() const { return anythingStored_; }

    // OK: stores every shown page and closes, or keeps the sheet open on the
    // page that refused.
    void accept() override;
    // Apply: stores the current page; false when it refused.
    bool Apply();
    // Asks for the current page's help topic.
    void RequestHelp();

    [[nodiscard]] QPushButton* ApplyButton() const { return apply_; }

signals:
    void helpRequested(const QString& topic);
    // OK stored the shown pages (emitted as the sheet closes).
    void stored();

private:
    void OnPageShown(int index);
    void UpdateApply();

    QTabWidget* tabs_;
    QDialogButtonBox* buttons_;
    QPushButton* apply_;
    std::vector<ConfigPage*> pages_;
    bool anythingStored_ = false;
};

using appConf = ConfigSheet;

}  // namespace zyfar
