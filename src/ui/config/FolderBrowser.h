#pragma once
// The folder browser ("Browse ..."): a path field above a tree of the
// machine's drives (the mount table) and their folders, with OK and Cancel.
// It opens at a given folder; choosing a folder in the tree puts its path in
// the field, and the field may also be typed into. OK answers the field.
#include <QDialog>
#include <QString>

class QLineEdit;

namespace zyfar {

class CDriveTree;

class FolderBrowser : public QDialog {
    Q_OBJECT
public:
    // `start` empty: the user's home folder.
    explicit FolderBrowser(const QString& start, QWidget* parent = nullptr, const QString& title = QString());

    [[nodiscard]] QString Path() const;
    [[nodiscard]] CDriveTree* Tree() const { return tree_; }

private:
    QLineEdit* path_;
    CDriveTree* tree_;
};

}  // namespace zyfar
