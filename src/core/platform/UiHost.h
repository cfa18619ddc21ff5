#pragma once
// What the core asks of whatever user interface hosts it. The Qt program
// installs its own host; headless runs and tests use the default, which shows
// nothing and answers every question with its default button.
#include <functional>
#include <string>

#include "platform/CertificateInfo.h"

namespace zyfar {

enum class TrayState { Idle = 0, Receiving = 1, Sending = 2 };

enum class MessageKind { Stop, Question, Information };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

class UiHost {
public:
    virtual ~UiHost() = default;
    // 0 idle, 1 connecting or receiving, 2 sending; other values change nothing.
    virtual void SetTrayState(int state) = 0;
    // Asks the program to end (a command-line run that finished).
    virtual void RequestQuit() = 0;
    // A message box; callable from any thread (the GUI host shows it on the GUI
    // thread while the caller waits). A worker's wait ends when its control
    // (CurrentWorkerControl) is cancelled: the box goes away and the answer
    // is Cancel.
    virtual MessageAnswer ShowMessage(const std::string& text, MessageKind kind, MessageButtons buttons) = 0;

    // True on the thread that shows the messages.
    [[nodiscard]] virtual bool OnUiThread() const { return false; }
    // UI thread only: keeps showing what workers ask for until done() holds,
    // so a wait there for a worker never blocks a worker that waits for the
    // UI in turn. The default host shows nothing and has nothing to serve.
    virtual void ServeUntil(const std::function<bool()>& done) { (void)done; }

    // Whether this host can ask the user about a server certificate that
    // could not be verified. The default host (headless runs) cannot: such a
    // certificate is then refused.
    [[nodiscard]] virtual bool AsksCertificateTrust() const { return false; }
    // Asks "trust this certificate?" (subject, issuer, validity, fingerprint,
    // with "Trust always", "Trust this time" and "Cancel"); callable from any
    // thread like ShowMessage, and a cancel of the caller's worker ends the
    // wait with kCancel.
    virtual TrustAnswer AskCertificateTrust(const CertificateInfo& certificate) {
        (void)certificate;
        return TrustAnswer::kCancel;
    }
};

// On the UI thread: serves the UI until done() holds (ServeUntil). Elsewhere
// it returns at once, and the caller blocks in its own join or wait.
void ServeUiWhileWaiting(const std::function<bool()>& done);

// The host in use; never null.
[[nodiscard]] UiHost& Ui();
// Installs a host (nullptr restores the default). The host must outlive its use.
void SetUiHost(UiHost* host);

}  // namespace zyfar
