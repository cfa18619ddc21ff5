#include "config/MiscPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "settings/Keys.h"

namespace zyfar {

MiscPage::MiscPage(QWidget* parent)
    : ConfigPage(QStringLiteral("&Misc"), QStringLiteral("config-misc"), parent),
      split_(this),
      dragDrop_(this),
      dirTree_(this),
      localDblClick_(this),
      remoteDblClick_(this) {
    // A group of radio buttons, one per key text.
    auto radioGroup = [this](const QString& title, ChoiceGroup& choice,
                             std::initializer_list<std::pair<const char*, const char*>> buttons) {
        QGroupBox* group = NewGroup(title);
        auto* column = new QVBoxLayout(group);
        for (const auto& [label, value] : buttons) {
            QRadioButton* b = NewRadio(QString::fromLatin1(label));
            choice.Add(b, value);
            column->addWidget(b);
        }
        column->addStretch(1);
        return group;
    };
    QGroupBox* split = radioGroup(QStringLiteral("Split Scr&eens"), split_,
                                  {{"Horizontally", "HORIZ"}, {"Vertically", "VERT"}});
    QGroupBox* dragDrop =
        radioGroup(QStringLiteral("Local &Drag && Drop"), dragDrop_, {{"Move", "MOVE"}, {"Copy", "COPY"}});
    dragDropDirs_ = NewCheckBox(QStringLiteral("Drag && Drop Directories &Recursively"));
    dragDrop->layout()->addWidget(dragDropDirs_);
    QGroupBox* dirTree = radioGroup(QStringLiteral("FTP F&olders"), dirTree_,
                                    {{"No Path", "NO_PATH"}, {"Last Directory", "LAST_DIR"}, {"Full Path", "FULL_PATH"}});
    QGroupBox* local = radioGroup(
        QStringLiteral("Local File Dou&ble Click Action"), localDblClick_,
        {{"Upload", "TRANSFER"}, {"Execute", "EXECUTE"}, {"Open", "OPEN"}, {"No Action", "NO_ACTION"}});
    QGroupBox* remote = radioGroup(QStringLiteral("Remote File Double &Click Action"), remoteDblClick_,
                                   {{"Download", "TRANSFER"}, {"No Action", "NO_ACTION"}});

    deletePut_ = NewCheckBox(QStringLiteral("On Local host after &PUT"));
    deleteGet_ = NewCheckBox(QStringLiteral("On Remote host after &GET"));
    QGroupBox* deletes = NewGroup(QStringLiteral("Delete File"));
    auto* deleteColumn = new QVBoxLayout(deletes);
    deleteColumn->addWidget(deletePut_);
    deleteColumn->addWidget(deleteGet_);
    deleteColumn->addStretch(1);

    renameLong_ = NewCheckBox(QStringLiteral("&Yes"));
    renameLong_->setAccessibleName(QStringLiteral("Rename long file names"));
    QGroupBox* rename = NewGroup(QStringLiteral("Rename long file names"));
    auto* renameColumn = new QVBoxLayout(rename);
    renameColumn->addWidget(renameLong_);
    renameColumn->addStretch(1);

    auto* grid = new QGridLayout(this);
    grid->addWidget(split, 0, 0);
    grid->addWidget(dragDrop, 0, 1);
    grid->addWidget(dirTree, 1, 0);
    grid->addWidget(local, 1, 1);
    grid->addWidget(remote, 2, 0);
    grid->addWidget(deletes, 2, 1);
    grid->addWidget(rename, 3, 0);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(4, 1);
}

void MiscPage::Load() {
    split_.Select(IsHorizontalSplit(Read(keys::ScreenSplit)) ? "HORIZ" : "VERT");
    dragDrop_.Select(ParseDragDrop(Read(keys::DragDrop)) == DragDropMode::Copy ? "COPY" : "MOVE");
    dragDropDirs_->setChecked(ReadYes(keys::DragDropDirsPage));
    dirTree_.Select(DirTreeText(ParseDirTree(Read(keys::FTPDirTree))));
    localDblClick_.Select(DblClickText(ParseLocalDblClick(Read(keys::LocalDblClick))));
    remoteDblClick_.Select(DblClickText(ParseRemoteDblClick(Read(keys::RemoteDblClick))));
    deletePut_->setChecked(ReadYes(keys::DeletePut));
    deleteGet_->setChecked(ReadYes(keys::DeleteGet));
    renameLong_->setChecked(ReadYes(keys::RenameLongFileNames));
}

void MiscPage::StoreKeys() {
    auto store = [](const KeyDef& key, const ChoiceGroup& group) {
        if (const auto chosen = group.Chosen()) Write(key, *chosen);
    };
    store(keys::ScreenSplit, split_);
    store(keys::DragDrop, dragDrop_);
    StoreYesNo(keys::DragDropDirsPage, dragDropDirs_);
    store(keys::FTPDirTree, dirTree_);
    store(keys::LocalDblClick, localDblClick_);
    store(keys::RemoteDblClick, remoteDblClick_);
    StoreYesNo(keys::DeletePut, deletePut_);
    StoreYesNo(keys::DeleteGet, deleteGet_);
    StoreYesNo(keys::RenameLongFileNames, renameLong_);
}

}  // namespace zyfar
