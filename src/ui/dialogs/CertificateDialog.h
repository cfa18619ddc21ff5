#pragma once
// "Unknown Certificate": the question asked when a server's certificate
// neither verifies against the system's trust store nor is trusted already.
// It shows the server, the certificate's subject, issuer and validity, its
// SHA-256 fingerprint (selectable, to compare with what the server's
// administrator gives) and why it did not verify, and answers "Trust always",
// "Trust this time" or "Cancel". Cancel is the default button, and Esc or
// closing the window cancel too: nothing is trusted by accident.
//
// A changed certificate for a trusted server is never asked about: the
// connection is refused with both fingerprints in the message.
#include <QDialog>

#include "platform/CertificateInfo.h"

class QLabel;

namespace zyfar {

// Why the certificate did not verify, one reason a line (self-signed,
// expired or not valid yet, issued for another host, then the verifier's
// own words when they add something).
[[nodiscard]] QString CertificateProblemText(const CertificateInfo& info);

class CertificateDialog final : public QDialog {
    Q_OBJECT
public:
    explicit CertificateDialog(const CertificateInfo& info, QWidget* parent = nullptr);

    [[nodiscard]] static QString Title();
    // The button pressed; kCancel until one of the trust buttons was.
    [[nodiscard]] TrustAnswer Answer() const { return answer_; }

private:
    void Choose(TrustAnswer answer);

    TrustAnswer answer_ = TrustAnswer::kCancel;
};

}  // namespace zyfar
