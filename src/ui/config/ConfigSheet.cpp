#include "config/ConfigSheet.h"

#include <QDialogButtonBox>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

#include "config/AsciiPage.h"
#include "config/FtpPage.h"
#include "config/LogPage.h"
#include "config/MiscPage.h"
#include "config/ProxiesPage.h"
#include "config/QueuePage.h"
#include "config/SoundsPage.h"
#include "config/SystemPage.h"
#include "dialogs/Prompter.h"

namespace zyfar {
namespace {

constexpr int kMsgSheetTitle = 236;  // "System Config"

}  // namespace

ConfigSheet::ConfigSheet(QWidget* parent) : QDialog(parent) {
    setWindowTitle(MessageString(kMsgSheetTitle));
    setAccessibleName(MessageString(kMsgSheetTitle));
    // Modal to the window that opened it only, so the help window it asks
    // for stays usable while it is open (exec() keeps this modality).
    setWindowModality(Qt::WindowModal);

    tabs_ = new QTabWidget(this);
    tabs_->setAccessibleName(QStringLiteral("Configuration pages"));
    tabs_->setUsesScrollButtons(false);
    pages_ = {new FtpPage, new ProxiesPage, new SystemPage, new LogPage,
              new AsciiPage, new SoundsPage, new QueuePage, new MiscPage};
    for (ConfigPage* page : pages_) {
        tabs_->addTab(page, page->Title());
        page->OrderTabsByLayout();
        connect(page, &ConfigPage::modifiedChanged, this, [this] { UpdateApply(); });
    }

    buttons_ = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply | QDialogButtonBox::Help, this);
    apply_ = buttons_->button(QDialogButtonBox::Apply);
    apply_->setText(QStringLiteral("&Apply"));
    buttons_->button(QDialogButtonBox::Help)->setText(QStringLiteral("&Help"));
    buttons_->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons_->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    for (QAbstractButton* b : buttons_->buttons()) b->setAccessibleName(ConfigPage::Plain(b->text()));
    connect(buttons_, &QDialogButtonBox::accepted, this, &ConfigSheet::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &ConfigSheet::reject);
    connect(apply_, &QPushButton::clicked, this, [this] { (void)Apply(); });
    connect(buttons_, &QDialogButtonBox::helpRequested, this, &ConfigSheet::RequestHelp);
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, &ConfigSheet::RequestHelp);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    layout->addWidget(buttons_);

    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { OnPageShown(index); });
    OnPageShown(tabs_->currentIndex());
    setMinimumWidth(600);
}

int ConfigSheet::CurrentPage() const { return tabs_->currentIndex(); }

void ConfigSheet::SetCurrentPage(int index) {
    if (index < 0 || index >= static_cast<int>(pages_.size())) return;
    tabs_->setCurrentIndex(index);
    OnPageShown(index);  // also when it was current already
}

void ConfigSheet::OnPageShown(int index) {
    if (index < 0 || index >= static_cast<int>(pages_.size())) return;
    pages_[static_cast<std::size_t>(index)]->EnsureLoaded();
    UpdateApply();
}

void ConfigSheet::UpdateApply() {
    const int index = CurrentPage();
    apply_->setEnabled(index >= 0 && pages_[static_cast<std::size_t>(index)]->Modified());
}

void ConfigSheet::accept() {
    // Every shown page is checked before any is stored, so a refusal leaves
    // the store as it was.
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        ConfigPage* page = pages_[i];
        if (!page->Loaded()) continue;
        tabs_->setCurrentIndex(static_cast<int>(i));  // the page's message shows over it
        if (!page->Validate()) {
            UpdateApply();
            return;
        }
    }
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        ConfigPage* page = pages_[i];
        if (!page->Loaded()) continue;
        tabs_->setCurrentIndex(static_cast<int>(i));  // a warning while storing shows over its page
        page->Store();
        anythingStored_ = true;
    }
    QDialog::accept();
    emit stored();
}

bool ConfigSheet::Apply() {
    ConfigPage* page = pages_[static_cast<std::size_t>(CurrentPage())];
    if (!page->Validate()) return false;
    page->Store();
    anythingStored_ = true;
    UpdateApply();
    return true;
}

void ConfigSheet::RequestHelp() { emit helpRequested(pages_[static_cast<std::size_t>(CurrentPage())]->HelpTopic()); }

}  // namespace zyfar
