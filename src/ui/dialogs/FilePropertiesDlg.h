#pragma once
// The "File Properties" window of a local or remote list row: the file's
// icon and name, where it is, its size in bytes, the name it gets on a
// server, its three times, and four read-only boxes. On this system the
// boxes show the nearest facts there are: "Read Only" from the permission
// bits, "Hidden" for a name that starts with a dot; "Archive" and "System"
// have no meaning here, stay clear and say so. Only a Cancel button.
#include <QDialog>
#include <QIcon>
#include <QString>
#include <optional>

namespace zyfar {

struct FileProperties {
    QString name;      // as shown in the list
    QString location;  // the folder
    std::optional<long long> size;  // bytes; nothing when unknown
    QString remoteName;
    QString created;   // texts as the "Modified" column writes times; empty when unknown
    QString modified;
    QString accessed;
    bool readOnly = false;
    bool hidden = false;
    QIcon icon;
};

class FilePropertiesDlg : public QDialog {
    Q_OBJECT
public:
    // Titled with the name and " Properties". The window deletes itself when
    // closed; Show opens it window-modal and returns at once.
    explicit FilePropertiesDlg(const FileProperties& properties, QWidget* parent = nullptr);
    static FilePropertiesDlg* Show(const FileProperties& properties, QWidget* parent);

    // The text beside a label ("Name:", "Location:", "Size:", "Remote:",
    // "Created:", "Modified:", "Accessed:").
    [[nodiscard]] QString FieldText(const QString& label) const;
};

}  // namespace zyfar
