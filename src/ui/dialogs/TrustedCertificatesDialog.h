#pragma once
// "Trusted Certificates": the servers whose own certificate the user chose to
// trust ("Trust always" or --trust), with their fingerprints. Remove forgets
// the selected ones, after a question, so the next connection asks again.
#include <QDialog>

#include "ftp/CertificateTrust.h"

class QPushButton;
class QTreeWidget;

namespace zyfar {

class TrustedCertificatesDialog final : public QDialog {
    Q_OBJECT
public:
    explicit TrustedCertificatesDialog(QWidget* parent = nullptr,
                                       const std::string& path = TrustedCertificatesPath());

    [[nodiscard]] QTreeWidget* List() const { return list_; }
    [[nodiscard]] QPushButton* RemoveButton() const { return remove_; }
    // Asks, then forgets the selected servers' certificates; the list is read
    // again from the file afterwards.
    void RemoveSelected();

private:
    void Reload();

    CertificateTrust trust_;
    QTreeWidget* list_;
    QPushButton* remove_;
};

}  // namespace zyfar
