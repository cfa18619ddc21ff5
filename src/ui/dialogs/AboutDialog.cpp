#include "dialogs/AboutDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFont>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

#include "dialogs/Prompter.h"

namespace zyfar {
namespace {

// A link field: keyboard-reachable, opened by the desktop, never by the label.
QLabel* LinkField(const QString& url, const QString& shown, const QString& name, QWidget* parent) {
    auto* label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toHtmlEscaped(), shown.toHtmlEscaped()),
                             parent);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    label->setOpenExternalLinks(false);
    label->setAccessibleName(name);
    label->setToolTip(url);
    QObject::connect(label, &QLabel::linkActivated, label,
                     [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    return label;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Zyfar"));
    setAccessibleName(windowTitle());

    auto* icon = new QLabel(this);
    icon->setAccessibleName(QStringLiteral("Zyfar icon"));
    const QIcon appIcon = QApplication::windowIcon();
    if (!appIcon.isNull()) icon->setPixmap(appIcon.pixmap(64, 64));
    icon->setVisible(!appIcon.isNull());

    auto* name = new QLabel(QStringLiteral("Zyfar"), this);
    name->setAccessibleName(QStringLiteral("Program name"));
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    version_ = new QLabel(MessageString(33055), this);
    version_->setAccessibleName(QStringLiteral("Version"));
    version_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* line = new QLabel(QStringLiteral("An FTP client for the Linux desktop: browse servers, send and receive "
                                           "files, queue, schedule and script transfers."),
                            this);
    line->setWordWrap(true);
    line->setMinimumWidth(line->fontMetrics().averageCharWidth() * 48);
    line->setAccessibleName(QStringLiteral("Description"));

    const QString web = QString::fromLatin1(kProjectWebAddress);
    const QString mail = QString::fromLatin1(kSupportMailAddress);
    web_ = LinkField(web, web, QStringLiteral("Project web site"), this);
    mail_ = LinkField(mail, mail.mid(QStringLiteral("mailto:").size()), QStringLiteral("Support e-mail address"), this);
    auto* links = new QFormLayout;
    links->addRow(QStringLiteral("Web site:"), web_);
    links->addRow(QStringLiteral("Support:"), mail_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(version_);
    text->addSpacing(6);
    text->addWidget(line);
    text->addSpacing(6);
    text->addLayout(links);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ShowAboutBox(QWidget* parent) {
    AboutDialog box(parent);
    box.exec();
}

}  // namespace zyfar
