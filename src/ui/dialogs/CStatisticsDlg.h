#pragma once
// The "Transfer Statistics" window: the process-wide byte, file and time
// counters of the copy loops, refilled once a second with the texts the core
// formats (FormatStatistics). One window at a time; it remembers where the
// user put it (CONFIG SysInfo_X / SysInfo_Y; 0 or absent centres it). The
// moves that opening the window causes are not stored, only the user's.
#include <QDialog>
#include <QPointer>

class QLineEdit;
class QTimer;

namespace zyfar {

class BusyAnimation;

class CStatisticsDlg : public QDialog {
    Q_OBJECT
public:
    // Opens the window, or raises the one that is open. It deletes itself
    // when closed.
    static CStatisticsDlg* Show(QWidget* parent = nullptr);
    // The open window, or null.
    [[nodiscard]] static CStatisticsDlg* Instance();

    // Refills the fields now (the timer does it every second).
    void Refresh();
    // The field of a label ("Local Bytes Read:", ...; the two time fields are
    // "Total Transfer Time:" and "Total Transfer Time: (remote)").
    [[nodiscard]] QString FieldText(const QString& label) const;

protected:
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    explicit CStatisticsDlg(QWidget* parent);
    void SavePosition();

    QLineEdit* localRead_ = nullptr;
    QLineEdit* localWritten_ = nullptr;
    QLineEdit* remoteRead_ = nullptr;
    QLineEdit* remoteWritten_ = nullptr;
    QLineEdit* files_ = nullptr;
    QLineEdit* localRate_ = nullptr;
    QLineEdit* localTime_ = nullptr;
    QLineEdit* remoteRate_ = nullptr;
    QLineEdit* remoteTime_ = nullptr;
    BusyAnimation* animation_ = nullptr;
    QTimer* refresh_ = nullptr;
    QTimer* saveTimer_ = nullptr;
    QPoint placedAt_;          // where opening put the window
    bool tracking_ = false;    // shown: moves may be the user's
    bool movedByUser_ = false; // moved away from placedAt_ since
};

}  // namespace zyfar
