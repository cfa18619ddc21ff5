#pragma once
// The Scheduler dialog (1219, "Zyfar Scheduler"): edits the schedule entries
// the scheduler tick starts scripts and links from.
//
// The fields open at the next whole minute of the injected clock (so that a
// "Once" entry added at once lies in the future). The frequency chosen enables
// the fields it stores; "Add" makes an entry through the core (which refuses
// an entry without a target, 33046, and one in the past, 295), a click on a
// row shows its fields, a double-click (or Space) switches it between "On" and
// "Off". "Delete" asks 297 / 298, "Cancel" asks 296 when rows were added or
// deleted. "OK" writes the rows through the core's SaveSchedule, which puts
// back every line this dialog could not show, as it was, where it stood.
#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

#include "automation/Scheduler.h"
#include "platform/Clock.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace zyfar {

class SchedulerDialog : public QDialog {
    Q_OBJECT
public:
    inline static const QString kTitle = QStringLiteral("Zyfar Scheduler");

    explicit SchedulerDialog(QWidget* parent = nullptr, const Clock& clock = SystemClockInstance());

    // Opens the dialog modally over `parent` (commands 1164 and 1266) and
    // returns when it is closed; QDialog::Accepted when it saved with OK.
    // `onHelp` answers the Help button (the scheduler's help topic).
    static int Open(QWidget* parent, const std::function<void()>& onHelp = {});

    // The controls, for tests and black-box drivers (each has an accessible name).
    [[nodiscard]] QComboBox* FrequencyCombo() const { return frequency_; }
    [[nodiscard]] QComboBox* DayList() const { return day_; }
    [[nodiscard]] QComboBox* HourList() const { return hour_; }
    [[nodiscard]] QComboBox* MinuteList() const { return minute_; }
    [[nodiscard]] QComboBox* WeekdayCombo() const { return weekday_; }
    [[nodiscard]] QComboBox* MonthCombo() const { return month_; }
    [[nodiscard]] QLineEdit* YearEdit() const { return year_; }
    [[nodiscard]] QCheckBox* ScriptCheck() const { return useScript_; }
    [[nodiscard]] QLineEdit* ScriptEdit() const { return scriptPath_; }
    [[nodiscard]] QPushButton* BrowseButton() const { return browse_; }
    [[nodiscard]] QComboBox* LinkCombo() const { return link_; }
    [[nodiscard]] QTreeWidget* EntryList() const { return list_; }
    [[nodiscard]] const std::vector<ScheduleEntry>& Rows() const { return rows_; }
    // Rows were added or deleted since the dialog opened (a switched state alone does not count).
    [[nodiscard]] bool Changed() const { return changed_; }

    // What the buttons and the list do.
    void Add();
    void Delete();
    void Reset();
    void Browse();
    void PickRow(int row);
    void ToggleRow(int row);
    // OK: saves and closes; stays open when the settings file cannot be written.
    void accept() override;
    // Cancel, Escape and the close box: asks 296 when the list changed.
    void reject() override;

signals:
    // The Help button: the scheduler topic.
    void helpRequested();

private:
    [[nodiscard]] ScheduleRequest Fields() const;
    void ShowFields(const ScheduleRequest& fields);
    void EnableFields();
    void UpdateTargetChoice();
    void AppendItem(const ScheduleEntry& entry);
    void ShowState(int row);
    bool Save();

    const Clock& clock_;
    std::vector<ScheduleEntry> rows_;        // the list's rows, in order
    std::vector<KeptScheduleLine> kept_;     // stored lines the list does not show
    bool changed_ = false;

    QComboBox* frequency_;
    QComboBox* day_;
    QComboBox* hour_;
    QComboBox* minute_;
    QComboBox* weekday_;
    QComboBox* month_;
    QLineEdit* year_;
    QCheckBox* useScript_;
    QLineEdit* scriptPath_;
    QPushButton* browse_;
    QComboBox* link_;
    QTreeWidget* list_;
};

}  // namespace zyfar
