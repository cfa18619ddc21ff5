#include "dialogs/ScriptedPrompter.h"

#include "dialogs/CertificateDialog.h"

namespace zyfar {
namespace {

std::optional<QString> TakeFront(std::deque<std::optional<QString>>& answers) {
    const bool has = answers.front().has_value();
    const QString text = has ? *answers.front() : QString();
    answers.pop_front();
    if (!has) return std::nullopt;
    return text;
}

}  // namespace

ScriptedPrompter::ScriptedPrompter() { SetPrompter(this); }
ScriptedPrompter::~ScriptedPrompter() { SetPrompter(nullptr); }

std::vector<int> ScriptedPrompter::AskedIds() const {
    std::vector<int> ids;
    for (const Asked& a : asked_)
        if (a.kind == Asked::Kind::Message) ids.push_back(a.id);
    return ids;
}

void ScriptedPrompter::Reset() {
    asked_.clear();
    unexpected_ = 0;
    messageAnswers.clear();
    threeButtonAnswers.clear();
    inputAnswers.clear();
    fileAnswers.clear();
    siteAnswers.clear();
    siteShown.clear();
    trustAnswers.clear();
    certificatesShown.clear();
}

MessageAnswer ScriptedPrompter::Message(QWidget*, const MessageRequest& request, QPointer<QDialog>*) {
    Asked a;
    a.kind = Asked::Kind::Message;
    a.id = request.id;
    a.text = request.text;
    a.title = request.title;
    a.buttons = request.buttons;
    a.icon = request.kind;
    asked_.push_back(a);
    if (duringMessage) duringMessage(a);
    if (messageAnswers.empty()) {
        ++unexpected_;
        return MessageAnswer::Cancel;
    }
    const MessageAnswer answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

int ScriptedPrompter::ThreeButtons(QWidget*, const ThreeButtonRequest& request) {
    Asked a;
    a.kind = Asked::Kind::ThreeButtons;
    a.text = request.question;
    a.title = request.title;
    a.choices = {request.buttons[0], request.buttons[1], request.buttons[2]};
    asked_.push_back(a);
    if (threeButtonAnswers.empty()) {
        ++unexpected_;
        return 2;
    }
    const int answer = threeButtonAnswers.front();
    threeButtonAnswers.pop_front();
    return answer;
}

std::optional<QString> ScriptedPrompter::InputLine(QWidget*, const InputRequest& request) {
    Asked a;
    a.kind = Asked::Kind::Input;
    a.text = request.prompt;
    a.title = request.title;
    a.masked = request.masked;
    asked_.push_back(a);
    if (inputAnswers.empty()) {
        ++unexpected_;
        return std::nullopt;
    }
    return TakeFront(inputAnswers);
}

std::optional<QString> ScriptedPrompter::ChooseFile(QWidget*, const FileRequest& request) {
    Asked a;
    a.kind = Asked::Kind::File;
    a.text = request.title;
    a.title = request.filter;
    asked_.push_back(a);
    if (fileAnswers.empty()) {
        ++unexpected_;
        return std::nullopt;
    }
    return TakeFront(fileAnswers);
}

std::optional<SiteFields> ScriptedPrompter::EditSite(QWidget*, const SiteFields& fields) {
    Asked a;
    a.kind = Asked::Kind::Site;
    a.text = fields.host;
    a.title = QStringLiteral("FTP Site");
    asked_.push_back(a);
    siteShown.push_back(fields);
    if (siteAnswers.empty()) {
        ++unexpected_;
        return std::nullopt;
    }
    const bool has = siteAnswers.front().has_value();
    const SiteFields fields2 = has ? *siteAnswers.front() : SiteFields{};
    siteAnswers.pop_front();
    if (!has) return std::nullopt;
    return fields2;
}

TrustAnswer ScriptedPrompter::TrustCertificate(QWidget*, const CertificateInfo& info, QPointer<QDialog>*) {
    Asked a;
    a.kind = Asked::Kind::Certificate;
    a.text = CertificateProblemText(info);
    a.title = CertificateDialog::Title();
    asked_.push_back(a);
    certificatesShown.push_back(info);
    if (trustAnswers.empty()) {
        ++unexpected_;
        return TrustAnswer::kCancel;
    }
    const TrustAnswer answer = trustAnswers.front();
    trustAnswers.pop_front();
    return answer;
}

}  // namespace zyfar
