#include "config/AsciiPage.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/ConfigRules.h"
#include "settings/Keys.h"

namespace zyfar {

AsciiPage::AsciiPage(QWidget* parent)
    : ConfigPage(QStringLiteral("Ascii &Transfer Settings"), QStringLiteral("config-ascii"), parent) {
    edit_ = new QLineEdit(this);  // typing alone changes nothing stored
    edit_->setAccessibleName(QStringLiteral("File Extension"));
    edit_->setPlaceholderText(QStringLiteral("txt"));
    add_ = NewButton(QStringLiteral("A&dd"));
    add_->setAutoDefault(false);
    remove_ = NewButton(QStringLiteral("&Remove"));
    list_ = new QListWidget(this);
    list_->setAccessibleName(QStringLiteral("Text file extensions"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* group = NewGroup(QStringLiteral("Files transferred as text in automatic mode"));
    auto* grid = new QGridLayout(group);
    grid->addWidget(NewLabel(QStringLiteral("File &Extension:"), edit_), 0, 0);
    grid->addWidget(edit_, 0, 1);
    grid->addWidget(add_, 0, 2);
    grid->addWidget(NewLabel(QStringLiteral("&Known extensions"), list_), 1, 0, Qt::AlignTop);
    grid->addWidget(list_, 1, 1);
    auto* side = new QVBoxLayout;
    side->addWidget(remove_);
    side->addStretch(1);
    grid->addLayout(side, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);

    connect(edit_, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
    edit_->installEventFilter(this);  // Enter adds instead of closing the sheet
    connect(add_, &QPushButton::clicked, this, [this] { Add(); });
    connect(remove_, &QPushButton::clicked, this, [this] { Remove(); });
    connect(list_, &QListWidget::currentRowChanged, this, [this] { UpdateButtons(); });
    UpdateButtons();
}

bool AsciiPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (add_->isEnabled()) Add();
            return true;
        }
    }
    return ConfigPage::eventFilter(watched, event);
}

void AsciiPage::UpdateButtons() {
    add_->setEnabled(!edit_->text().isEmpty());
    remove_->setEnabled(list_->currentRow() >= 0);
}

void AsciiPage::ShowList(int current) {
    list_->clear();
    for (const std::string& e : extensions_) list_->addItem(QString::fromStdString(e));
    if (current >= 0) list_->setCurrentRow(current);
    UpdateButtons();
}

void AsciiPage::Add() {
    const int at = AddTextExtension(extensions_, edit_->text().toStdString());
    edit_->clear();
    ShowList(at);
    SetModified(true);
}

void AsciiPage::Remove() {
    const int row = list_->currentRow();
    if (row < 0 || row >= static_cast<int>(extensions_.size())) return;
    extensions_.erase(extensions_.begin() + row);
    ShowList(std::min(row, static_cast<int>(extensions_.size()) - 1));
    SetModified(true);
}

void AsciiPage::Load() {
    extensions_.clear();
    for (const std::string& e : SplitTextExtensions(Read(keys::TextExtensions))) (void)AddTextExtension(extensions_, e);
    ShowList(-1);
}

void AsciiPage::StoreKeys() { Write(keys::TextExtensions, JoinTextExtensions(extensions_)); }

}  // namespace zyfar
