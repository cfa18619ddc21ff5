#include "dialogs/FilePropertiesDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "dialogs/Prompter.h"
#include "config/HelpWindow.h"

namespace zyfar {

FilePropertiesDlg::FilePropertiesDlg(const FileProperties& p, QWidget* parent) : QDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(p.name + QStringLiteral(" Properties"));
    setAccessibleName(windowTitle());
    auto* layout = new QVBoxLayout(this);

    auto* head = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(p.icon.pixmap(32, 32));
    head->addWidget(icon);
    auto* title = new QLabel(p.name, this);
    title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    head->addWidget(title, 1);
    layout->addLayout(head);

    auto* form = new QFormLayout;
    auto field = [this, form](const QString& label, const QString& text) {
        auto* edit = new QLineEdit(text, this);
        edit->setReadOnly(true);
        edit->setFrame(false);
        edit->setObjectName(label);
        edit->setAccessibleName(label);
        edit->setCursorPosition(0);
        edit->setMinimumWidth(260);
        form->addRow(label, edit);
    };
    field(QStringLiteral("Name:"), p.name);
    field(QStringLiteral("Location:"), p.location);
    field(QStringLiteral("Size:"), p.size ? QStringLiteral("%1 %2").arg(*p.size).arg(MessageString(162)) : QString());
    field(QStringLiteral("Remote:"), p.remoteName);
    field(QStringLiteral("Created:"), p.created);
    field(QStringLiteral("Modified:"), p.modified);
    field(QStringLiteral("Accessed:"), p.accessed);
    layout->addLayout(form);

    auto* boxes = new QGridLayout;
    auto box = [this, boxes](const QString& text, bool on, int row, int column, const QString& tip) {
        auto* check = new QCheckBox(text, this);
        check->setChecked(on);
        check->setEnabled(false);
        check->setAccessibleName(text);
        check->setToolTip(tip);
        boxes->addWidget(check, row, column);
    };
    box(QStringLiteral("Read Only (no write permission)"), p.readOnly, 0, 0, QStringLiteral("From the file's permission bits"));
    box(QStringLiteral("Hidden (name starts with a dot)"), p.hidden, 0, 1, QStringLiteral("Files whose names start with a dot are hidden"));
    box(QStringLiteral("Archive (not kept on Linux)"), false, 1, 0, QStringLiteral("Linux file systems keep no archive flag"));
    box(QStringLiteral("System (not kept on Linux)"), false, 1, 1, QStringLiteral("Linux file systems keep no system flag"));
    layout->addLayout(boxes);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    buttons->addButton(MakeHelpButton(this, QStringLiteral("browsing")), QDialogButtonBox::HelpRole);
    layout->addWidget(buttons);
}

FilePropertiesDlg* FilePropertiesDlg::Show(const FileProperties& properties, QWidget* parent) {
    auto* dialog = new FilePropertiesDlg(properties, parent);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();
    return dialog;
}

QString FilePropertiesDlg::FieldText(const QString& label) const {
    const auto* edit = findChild<QLineEdit*>(label);
    return edit != nullptr ? edit->text() : QString();
}

}  // namespace zyfar
