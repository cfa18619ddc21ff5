#pragma once
// A Prompter for tests: answers come from queues the test fills, every
// question is recorded, and a question with no answer queued takes the
// default (Cancel, the third button, nothing) and is counted as unexpected.
// Installs itself for its lifetime.
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "dialogs/Prompter.h"

namespace zyfar {

class ScriptedPrompter final : public Prompter {
public:
    ScriptedPrompter();
    ~ScriptedPrompter() override;
    ScriptedPrompter(const ScriptedPrompter&) = delete;
    ScriptedPrompter& operator=(const ScriptedPrompter&) = delete;

    // One record per question, in order.
    struct Asked {
        enum class Kind { Message, ThreeButtons, Input, File, Site, Certificate } kind = Kind::Message;
        int id = 0;  // message number (Message only)
        QString text;  // message text, question, prompt, file title or why a certificate did not verify
        QString title;
        MessageButtons buttons = MessageButtons::Ok;
        MessageKind icon = MessageKind::Information;
        QStringList choices;  // ThreeButtons: the three captions
        bool masked = false;  // Input: a password field
    };

    std::deque<MessageAnswer> messageAnswers;
    std::deque<int> threeButtonAnswers;
    std::deque<std::optional<QString>> inputAnswers;
    std::deque<std::optional<QString>> fileAnswers;
    // EditSite: the edited fields, or nothing for Cancel. The fields shown
    // are kept in siteShown.
    std::deque<std::optional<SiteFields>> siteAnswers;
    std::vector<SiteFields> siteShown;
    // Called while a message is "shown" (before it answers): a test uses it
    // to act in the middle of a question (a run that ends meanwhile).
    std::function<void(const Asked&)> duringMessage;
    // TrustCertificate: the answers in order (none queued: Cancel); the
    // certificates shown are kept in certificatesShown.
    std::deque<TrustAnswer> trustAnswers;
    std::vector<CertificateInfo> certificatesShown;

    [[nodiscard]] const std::vector<Asked>& asked() const { return asked_; }
    [[nodiscard]] std::vector<int> AskedIds() const;
    [[nodiscard]] int unexpected() const { return unexpected_; }
    void Reset();

    MessageAnswer Message(QWidget* parent, const MessageRequest& request, QPointer<QDialog>* shown) override;
    int ThreeButtons(QWidget* parent, const ThreeButtonRequest& request) override;
    std::optional<QString> InputLine(QWidget* parent, const InputRequest& request) override;
    std::optional<QString> ChooseFile(QWidget* parent, const FileRequest& request) override;
    std::optional<SiteFields> EditSite(QWidget* parent, const SiteFields& fields) override;
    TrustAnswer TrustCertificate(QWidget* parent, const CertificateInfo& info, QPointer<QDialog>* shown) override;

private:
    std::vector<Asked> asked_;
    int unexpected_ = 0;
};

}  // namespace zyfar
