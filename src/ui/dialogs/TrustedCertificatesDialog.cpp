#include "dialogs/TrustedCertificatesDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "config/HelpWindow.h"
#include "dialogs/Prompter.h"

namespace zyfar {
namespace {

constexpr int kPortRole = Qt::UserRole + 1;
constexpr int kHostRole = Qt::UserRole + 2;

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

TrustedCertificatesDialog::TrustedCertificatesDialog(QWidget* parent, const std::string& path)
    : QDialog(parent), trust_(path) {
    setWindowTitle(QStringLiteral("Trusted Certificates"));
    setAccessibleName(windowTitle());

    auto* intro = new QLabel(QStringLiteral("Servers whose own certificate you chose to trust. A server removed "
                                            "here is asked about again at its next connection."),
                             this);
    intro->setWordWrap(true);

    list_ = new QTreeWidget(this);
    list_->setAccessibleName(QStringLiteral("Trusted certificates"));
    list_->setHeaderLabels({QStringLiteral("Server"), QStringLiteral("SHA-256 fingerprint")});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSortingEnabled(true);
    list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    // Room for a whole fingerprint ("AB:" 32 times) next to a server name.
    const QFontMetrics fixed(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    list_->setMinimumWidth(fixed.horizontalAdvance(QString(96, QLatin1Char('0'))) +
                           list_->fontMetrics().averageCharWidth() * 30);

    remove_ = new QPushButton(QStringLiteral("&Remove"), this);
    remove_->setAccessibleName(QStringLiteral("Remove the selected certificates"));
    remove_->setEnabled(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(remove_, QDialogButtonBox::ActionRole);
    buttons->addButton(MakeHelpButton(this, QStringLiteral("about-tls")), QDialogButtonBox::HelpRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(remove_, &QPushButton::clicked, this, &TrustedCertificatesDialog::RemoveSelected);
    connect(list_, &QTreeWidget::itemSelectionChanged, this,
            [this] { remove_->setEnabled(!list_->selectedItems().isEmpty()); });
    Reload();
}

void TrustedCertificatesDialog::Reload() {
    list_->clear();
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (const TrustedCertificate& c : trust_.List()) {
        const QString server = Text(ServerUrl("ftpes", c.host, c.port)).mid(QStringLiteral("ftpes://").size());
        auto* item = new QTreeWidgetItem(list_, {server, Text(FormatFingerprint(c.fingerprint))});
        item->setFont(1, fixed);
        item->setData(0, kHostRole, Text(c.host));
        item->setData(0, kPortRole, c.port);
    }
    list_->sortItems(0, Qt::AscendingOrder);
    remove_->setEnabled(false);
}

void TrustedCertificatesDialog::RemoveSelected() {
    const QList<QTreeWidgetItem*> chosen = list_->selectedItems();
    if (chosen.isEmpty()) return;
    QStringList servers;
    for (const QTreeWidgetItem* item : chosen) servers << item->text(0);
    const QString question = QStringLiteral("Forget the trusted certificate of %1? The next connection to %2 "
                                            "asks about its certificate again.")
                                 .arg(servers.join(QStringLiteral(", ")),
                                      chosen.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    if (AskText(this, question, MessageKind::Question, MessageButtons::YesNo) != MessageAnswer::Yes) return;
    QStringList failed;
    for (const QTreeWidgetItem* item : chosen) {
        const std::string host = item->data(0, kHostRole).toString().toStdString();
        const auto port = static_cast<std::uint16_t>(item->data(0, kPortRole).toUInt());
        // Gone already (removed by another window or by hand) counts as done.
        if (!trust_.Remove(host, port) && trust_.Find(host, port)) failed << item->text(0);
    }
    Reload();
    if (!failed.isEmpty()) {
        AskText(this,
                QStringLiteral("The trusted certificates file %1 could not be written; still trusted: %2.")
                    .arg(Text(trust_.path()), failed.join(QStringLiteral(", "))),
                MessageKind::Stop, MessageButtons::Ok);
    }
}

}  // namespace zyfar
