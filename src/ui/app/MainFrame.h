#pragma once
// The one main window: title, stored rectangle, tray icon and its menu, and
// the global operations other parts of the program call on it.
#include <QMainWindow>
#include <QPointer>
#include <atomic>
#include <functional>

#include "platform/UiHost.h"

class QAction;
class QDialog;
class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace zyfar {

class CMainFrame : public QMainWindow, public UiHost {
    Q_OBJECT
public:
    // withTray false: an unattended run shows no tray icon.
    explicit CMainFrame(bool withTray = true, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // UiHost: callable from any thread.
    void SetTrayState(int state) override;
    void RequestQuit() override;
    // From a worker: the box is shown on the GUI thread; the worker's wait
    // ends when the box is answered, when the window goes away (Cancel), or
    // when the worker's control is cancelled (the box is closed, Cancel).
    MessageAnswer ShowMessage(const std::string& text, MessageKind kind, MessageButtons buttons) override;
    [[nodiscard]] bool OnUiThread() const override;
    // Runs the event loop (without user input) until done() holds.
    void ServeUntil(const std::function<bool()>& done) override;

    [[nodiscard]] int TrayState() const { return trayState_; }
    [[nodiscard]] bool HasTrayIcon() const { return tray_ != nullptr; }
    [[nodiscard]] QMenu* TrayMenu() const { return trayMenu_; }

    // Shows the window as stored: restored, or minimised and hidden when
    // CONFIG WinState is "ICONIC" and the tray can bring it back.
    void ShowAsStored();
    // Tray command 1264: minimise and hide, or show and restore.
    void ToggleWindow();
    // Restores the rectangle from "Dimensions\Main\Mainframe".
    void RestoreRectangle();
    // Writes the current rectangle to "Dimensions\Main\Mainframe" now.
    void SaveRectangle();

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateTray();
    void ScheduleRectangleSave();
    // `shown`, when given, points at the box while it is open.
    MessageAnswer ShowMessageHere(const QString& text, MessageKind kind, MessageButtons buttons,
                                  QPointer<QDialog>* shown = nullptr);

    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QTimer* saveTimer_ = nullptr;
    void ApplyTrayState(int state);

    int trayState_ = 0;
    std::atomic<int> requestedTrayState_{0};     // latest state asked for by a worker
    std::atomic<bool> trayUpdatePosted_{false};  // an event to apply it is on its way
    bool restoring_ = false;
};

// The main window, or null before it exists and after it is gone.
[[nodiscard]] CMainFrame* MainFrame();

}  // namespace zyfar
