#include "dialogs/Prompter.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <atomic>

#include "config/FolderBrowser.h"
#include "dialogs/CertificateDialog.h"
#include "dialogs/SiteDialog.h"
#include "platform/MessageTable.h"

namespace zyfar {
namespace {

QtPrompter& QtInstance() {
    static QtPrompter prompter;
    return prompter;
}

std::atomic<Prompter*> g_prompter{nullptr};

QMessageBox::Icon IconOf(MessageKind kind) {
    switch (kind) {
    case MessageKind::Stop: return QMessageBox::Critical;
    case MessageKind::Question: return QMessageBox::Question;
    case MessageKind::Information: break;
    }
    return QMessageBox::Information;
}

QMessageBox::StandardButtons ButtonsOf(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok: return QMessageBox::Ok;
    case MessageButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

}  // namespace

Prompter& Prompt() {
    Prompter* p = g_prompter.load();
    return p != nullptr ? *p : QtInstance();
}

void SetPrompter(Prompter* prompter) { g_prompter.store(prompter); }

QString MessageString(int id) {
    const std::string_view text = MessageText(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString MessageString(int id, const QStringList& args) {
    const QString format = MessageString(id);
    QString out;
    int from = 0;
    for (const QString& arg : args) {
        const int at = format.indexOf(QLatin1String("%s"), from);
        if (at < 0) break;
        out += format.mid(from, at - from) + arg;
        from = at + 2;
    }
    return out + format.mid(from);
}

MessageAnswer AskMessage(QWidget* parent, int id, MessageKind kind, MessageButtons buttons) {
    return Prompt().Message(parent, MessageRequest{id, MessageString(id), kind, buttons});
}

MessageAnswer AskText(QWidget* parent, const QString& text, MessageKind kind, MessageButtons buttons) {
    return Prompt().Message(parent, MessageRequest{0, text, kind, buttons});
}

MessageAnswer QtPrompter::Message(QWidget* parent, const MessageRequest& request, QPointer<QDialog>* shown) {
    QMessageBox box(parent);
    if (shown != nullptr) *shown = &box;
    box.setWindowTitle(request.title.isEmpty() ? QStringLiteral("Zyfar") : request.title);
    box.setText(request.text);
    box.setIcon(IconOf(request.kind));
    box.setStandardButtons(ButtonsOf(request.buttons));
    box.setAccessibleName(QStringLiteral("Zyfar message"));
    switch (box.exec()) {
    case QMessageBox::Ok: return MessageAnswer::Ok;
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    default: return MessageAnswer::Cancel;
    }
}

int QtPrompter::ThreeButtons(QWidget* parent, const ThreeButtonRequest& request) {
    QDialog dialog(parent);
    dialog.setWindowTitle(request.title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* question = new QLabel(request.question, &dialog);
    question->setWordWrap(true);
    layout->addWidget(question);
    auto* row = new QDialogButtonBox(&dialog);
    int answer = 2;
    for (int i = 0; i < 3; ++i) {
        if (request.buttons[i].isEmpty()) continue;
        auto* button = row->addButton(request.buttons[i], QDialogButtonBox::ActionRole);
        button->setAccessibleName(request.buttons[i]);
        if (i == 0) button->setDefault(true);
        QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &answer, i] {
            answer = i;
            dialog.accept();
        });
    }
    layout->addWidget(row);
    dialog.exec();
    return answer;
}

std::optional<QString> QtPrompter::InputLine(QWidget* parent, const InputRequest& request) {
    bool ok = false;
    const QLineEdit::EchoMode echo = request.masked ? QLineEdit::Password : QLineEdit::Normal;
    const QString text = QInputDialog::getText(parent, request.title, request.prompt, echo, request.initial, &ok);
    if (!ok) return std::nullopt;
    return text;
}

std::optional<QString> QtPrompter::ChooseFile(QWidget* parent, const FileRequest& request) {
    QString path;
    switch (request.kind) {
    case FileRequest::Kind::Open:
        path = QFileDialog::getOpenFileName(parent, request.title, request.folder, request.filter);
        break;
    case FileRequest::Kind::Save: {
        QFileDialog dialog(parent, request.title, request.folder, request.filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        // The caller asks its own overwrite question (with its message number).
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setDefaultSuffix(request.defaultSuffix);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().front();
        break;
    }
    case FileRequest::Kind::Folder: {
        FolderBrowser browser(request.folder, parent, request.title);
        if (browser.exec() == QDialog::Accepted) path = browser.Path();
        break;
    }
    }
    if (path.isEmpty()) return std::nullopt;
    return path;
}

std::optional<SiteFields> QtPrompter::EditSite(QWidget* parent, const SiteFields& fields) {
    SiteDialog dialog(fields, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Fields();
}

TrustAnswer QtPrompter::TrustCertificate(QWidget* parent, const CertificateInfo& info, QPointer<QDialog>* shown) {
    CertificateDialog dialog(info, parent);
    if (shown != nullptr) *shown = &dialog;
    dialog.exec();
    return dialog.Answer();
}

}  // namespace zyfar
