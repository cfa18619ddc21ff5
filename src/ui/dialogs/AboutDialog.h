#pragma once
// The "About Zyfar" box (command 57664): the application icon, the name, the
// version "Zyfar v. 2.06", one line on what the program is, the project's web
// address and the support mail address as links (opened by the desktop's
// browser and mail program), and OK.
#include <QDialog>

class QLabel;

namespace zyfar {

inline constexpr const char* kProjectWebAddress = "https://zyfar.quorvane.org";
inline constexpr const char* kSupportMailAddress = "mailto:support@quorvane.org";

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    [[nodiscard]] QLabel* VersionLabel() const { return version_; }
    [[nodiscard]] QLabel* WebLink() const { return web_; }
    [[nodiscard]] QLabel* MailLink() const { return mail_; }

private:
    QLabel* version_;
    QLabel* web_;
    QLabel* mail_;
};

// Shows the About box modally over `parent` and returns when it is closed.
void ShowAboutBox(QWidget* parent);

}  // namespace zyfar
