#include "dialogs/CertificateDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "config/HelpWindow.h"
#include "ftp/CertificateTrust.h"

namespace zyfar {
namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

// "host:port", an IPv6 address in brackets.
QString ServerText(const CertificateInfo& info) {
    const QString host = Text(info.host);
    const QString shown = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shown + QLatin1Char(':') + QString::number(info.port);
}

// Text that came from the server: never read as markup, selectable so that
// it can be copied.
QLabel* Value(const QString& text, const QString& name, QWidget* parent) {
    auto* label = new QLabel(text.isEmpty() ? QStringLiteral("(none)") : text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setWordWrap(true);
    label->setAccessibleName(name);
    return label;
}

// The colon form in two lines of 16 pairs, so the dialog stays narrow.
QString FingerprintLines(const std::string& fingerprint) {
    const QString pairs = Text(FormatFingerprint(fingerprint));
    constexpr int kFirstLine = 16 * 3;  // "AB:" sixteen times
    if (pairs.size() <= kFirstLine) return pairs;
    return pairs.left(kFirstLine) + QLatin1Char('\n') + pairs.mid(kFirstLine);
}

}  // namespace

QString CertificateProblemText(const CertificateInfo& info) {
    QStringList lines;
    if (info.selfSigned) lines << QStringLiteral("It is self-signed: no certificate authority vouches for it.");
    if (info.expired) lines << QStringLiteral("It is outside its validity period (expired, or not valid yet).");
    if (info.wrongHost) lines << QStringLiteral("It is not issued for %1.").arg(Text(info.host));
    if (!info.verifyError.empty()) lines << QStringLiteral("The check reported: %1.").arg(Text(info.verifyError));
    if (lines.isEmpty()) lines << QStringLiteral("It could not be verified.");
    return lines.join(QLatin1Char('\n'));
}

QString CertificateDialog::Title() { return QStringLiteral("Unknown Certificate"); }

CertificateDialog::CertificateDialog(const CertificateInfo& info, QWidget* parent) : QDialog(parent) {
    setWindowTitle(Title());
    setAccessibleName(Title());

    auto* icon = new QLabel(this);
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(side, side));
    auto* intro = new QLabel(this);
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);
    intro->setText(QStringLiteral("The certificate of %1 could not be verified. Trust it only when its "
                                  "fingerprint is the one the server's administrator gave you.")
                       .arg(ServerText(info)));
    intro->setAccessibleName(QStringLiteral("Question"));
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(intro, 1);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Server:"), Value(ServerText(info), QStringLiteral("Server"), this));
    form->addRow(QStringLiteral("Subject:"), Value(Text(info.subject), QStringLiteral("Subject"), this));
    form->addRow(QStringLiteral("Issuer:"), Value(Text(info.issuer), QStringLiteral("Issuer"), this));
    form->addRow(QStringLiteral("Valid from:"), Value(Text(info.notBefore), QStringLiteral("Valid from"), this));
    form->addRow(QStringLiteral("Valid until:"), Value(Text(info.notAfter), QStringLiteral("Valid until"), this));
    auto* fingerprint = Value(FingerprintLines(info.fingerprint), QStringLiteral("SHA-256 fingerprint"), this);
    fingerprint->setWordWrap(false);
    fingerprint->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* copy = new QPushButton(QStringLiteral("C&opy"), this);
    copy->setAccessibleName(QStringLiteral("Copy fingerprint"));
    copy->setToolTip(QStringLiteral("Copies the fingerprint in the form --fingerprint accepts"));
    copy->setAutoDefault(false);
    const QString stored = Text(info.fingerprint);
    connect(copy, &QPushButton::clicked, this, [stored] { QApplication::clipboard()->setText(stored); });
    auto* fingerprintRow = new QHBoxLayout;
    fingerprintRow->addWidget(fingerprint, 1);
    fingerprintRow->addWidget(copy, 0, Qt::AlignTop);
    form->addRow(QStringLiteral("SHA-256 fingerprint:"), fingerprintRow);
    form->addRow(QStringLiteral("Problem:"), Value(CertificateProblemText(info), QStringLiteral("Problem"), this));

    auto* buttons = new QDialogButtonBox(this);
    auto* always = buttons->addButton(QStringLiteral("Trust &always"), QDialogButtonBox::AcceptRole);
    always->setAccessibleName(QStringLiteral("Trust always"));
    auto* once = buttons->addButton(QStringLiteral("Trust this &time"), QDialogButtonBox::AcceptRole);
    once->setAccessibleName(QStringLiteral("Trust this time"));
    auto* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    buttons->addButton(MakeHelpButton(this, QStringLiteral("about-tls")), QDialogButtonBox::HelpRole);
    // Enter presses Cancel wherever the focus is: trusting takes a deliberate click.
    always->setAutoDefault(false);
    once->setAutoDefault(false);
    cancel->setDefault(true);
    connect(always, &QPushButton::clicked, this, [this] { Choose(TrustAnswer::kTrustAlways); });
    connect(once, &QPushButton::clicked, this, [this] { Choose(TrustAnswer::kTrustOnce); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(form);
    layout->addWidget(buttons);
    cancel->setFocus();
}

void CertificateDialog::Choose(TrustAnswer answer) {
    answer_ = answer;
    accept();
}

}  // namespace zyfar
