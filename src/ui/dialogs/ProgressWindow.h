#pragma once
// The small "connecting" window: an animation, one status line and Cancel.
// The browsing connect shows its status texts in it, the comparison its two
// steps, and a remote list its longer operations. Modeless; it never waits
// for anything. Cancel emits Cancelled (the owner cancels its work) and
// closes the window.
#include <QWidget>

class QLabel;
class QPushButton;

namespace zyfar {

class BusyAnimation;

class ProgressWindow : public QWidget {
    Q_OBJECT
public:
    explicit ProgressWindow(QWidget* parent = nullptr);

    void SetStatus(const QString& text);
    [[nodiscard]] QString Status() const;
    // Shows the window near its parent's top-left corner and starts the animation.
    void Open(const QString& status);
    // Hides it and stops the animation (the owner may open it again).
    void Finish();
    // Work ended with a failure: the animation stops, the text stays, and
    // the button reads "Close" until the window is opened again.
    void ShowEnded(const QString& status);
    // Whether Cancel is offered (the connect thread offers it once it runs).
    void SetCancelVisible(bool on);
    [[nodiscard]] QPushButton* CancelButton() const { return cancel_; }

signals:
    void Cancelled();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    BusyAnimation* animation_;
    QLabel* status_;
    QPushButton* cancel_;
};

}  // namespace zyfar
