#include "config/FolderBrowser.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "views/DriveTree.h"

namespace zyfar {

FolderBrowser::FolderBrowser(const QString& start, QWidget* parent, const QString& title) : QDialog(parent) {
    setWindowTitle(title.isEmpty() ? QStringLiteral("Browse ...") : title);
    setAccessibleName(windowTitle());

    path_ = new QLineEdit(this);
    path_->setAccessibleName(QStringLiteral("Folder path"));
    auto* label = new QLabel(QStringLiteral("&Folder"), this);
    label->setBuddy(path_);

    tree_ = new CDriveTree(this);
    tree_->SetAccessibleName(QStringLiteral("Drives and folders"));
    // Only for choosing: no dragging, no dropping, no context menu.
    QTreeView* view = tree_->Tree();
    view->setDragEnabled(false);
    view->setAcceptDrops(false);
    view->viewport()->setAcceptDrops(false);
    view->setDragDropMode(QAbstractItemView::NoDragDrop);
    tree_->setAcceptDrops(false);
    auto* treeLabel = new QLabel(QStringLiteral("&Drives and folders"), this);
    treeLabel->setBuddy(view);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    for (QAbstractButton* b : buttons->buttons()) b->setAccessibleName(b->text().remove(QLatin1Char('&')));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(path_, &QLineEdit::textChanged, this, [this, buttons] {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!path_->text().trimmed().isEmpty());
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(path_);
    layout->addWidget(treeLabel);
    layout->addWidget(tree_, 1);
    layout->addWidget(buttons);
    resize(460, 520);

    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& now) {
                if (now.isValid()) path_->setText(tree_->ItemPath(now));
            });
    tree_->LoadSystemDrives();
    tree_->Start(start);
    // The folder asked for stays in the field even when the tree cannot reach it.
    if (!start.isEmpty()) path_->setText(start);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!path_->text().trimmed().isEmpty());
}

QString FolderBrowser::Path() const { return path_->text().trimmed(); }

}  // namespace zyfar
