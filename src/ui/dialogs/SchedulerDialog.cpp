#include "dialogs/SchedulerDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "dialogs/Prompter.h"
#include "config/HelpWindow.h"
#include "profiles/LinkFile.h"
#include "settings/SettingsStore.h"

namespace zyfar {
namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string Std(const QString& s) { return s.toStdString(); }

enum Column { kTargetColumn, kFrequencyColumn, kDateColumn, kTimeColumn, kStateColumn, kColumnCount };

// The state images: 0 "On" (a green dot), 1 "Off" (a hollow grey ring).
QIcon StateIcon(bool on) {
    static const QIcon icons[2] = {
        [] {
            QPixmap p(16, 16);
            p.fill(Qt::transparent);
            QPainter painter(&p);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(QColor(0x1b, 0x7a, 0x2f), 1.5));
            painter.setBrush(QColor(0x3c, 0xb3, 0x4f));
            painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
            return QIcon(p);
        }(),
        [] {
            QPixmap p(16, 16);
            p.fill(Qt::transparent);
            QPainter painter(&p);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
            return QIcon(p);
        }()};
    return icons[on ? 0 : 1];
}

QComboBox* Combo(const QString& name, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setAccessibleName(name);
    return combo;
}

// "00".."n" (or from `first`), two digits each.
QComboBox* NumberList(const QString& name, int first, int last, QWidget* parent) {
    QComboBox* combo = Combo(name, parent);
    for (int i = first; i <= last; ++i) combo->addItem(QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')), i);
    return combo;
}

QPushButton* Button(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setAccessibleName(name);
    button->setAutoDefault(false);
    return button;
}

QLabel* Label(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

// The fields each frequency stores, in the order of ScheduleFrequency.
struct UsedFields {
    bool day, month, year, weekday, hour, minute;
};
constexpr UsedFields kUsedFields[] = {
    {true, true, true, false, true, true},     // Once
    {false, false, false, false, true, true},  // Today
    {false, false, false, false, false, true}, // Hourly
    {false, false, false, false, true, true},  // Daily
    {false, false, false, true, true, true},   // Weekly
    {true, false, false, false, true, true},   // Monthly
    {true, true, false, false, true, true},    // Yearly
};

}  // namespace

SchedulerDialog::SchedulerDialog(QWidget* parent, const Clock& clock) : QDialog(parent), clock_(clock) {
    setWindowTitle(kTitle);
    setAccessibleName(kTitle);

    frequency_ = Combo(QStringLiteral("Frequency"), this);
    for (int f = 0; f < 7; ++f) frequency_->addItem(Q(FrequencyName(static_cast<ScheduleFrequency>(f))), f);
    frequency_->setPlaceholderText(QStringLiteral("Choose"));
    day_ = NumberList(QStringLiteral("Day of Month"), 1, 31, this);
    hour_ = NumberList(QStringLiteral("Hour"), 0, 23, this);
    minute_ = NumberList(QStringLiteral("Minute"), 0, 59, this);
    weekday_ = Combo(QStringLiteral("Day of Week"), this);
    for (int d = 0; d < 7; ++d) weekday_->addItem(Q(WeekdayName(d)), d);
    month_ = Combo(QStringLiteral("Month"), this);
    for (int m = 1; m <= 12; ++m) month_->addItem(Q(MonthName(m)), m);
    year_ = new QLineEdit(this);
    year_->setAccessibleName(QStringLiteral("Year"));
    year_->setValidator(new QIntValidator(0, 9999, year_));
    year_->setMaxLength(4);
    year_->setMaximumWidth(year_->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);

    useScript_ = new QCheckBox(QStringLiteral("Schedule &Script File"), this);
    useScript_->setAccessibleName(QStringLiteral("Schedule Script File"));
    scriptPath_ = new QLineEdit(this);
    scriptPath_->setAccessibleName(QStringLiteral("FTP Script File"));
    browse_ = Button(QStringLiteral("&Browse..."), QStringLiteral("Browse"), this);
    link_ = Combo(QStringLiteral("FTP Profile / File List"), this);
    link_->setPlaceholderText(QStringLiteral("Choose a link"));
    for (const NamedPath& link : ListLinks()) {
        link_->addItem(Q(link.name), Q(link.path));
        link_->setItemData(link_->count() - 1, Q(link.path), Qt::ToolTipRole);
    }
    link_->setCurrentIndex(-1);

    list_ = new QTreeWidget(this);
    list_->setAccessibleName(QStringLiteral("Schedules"));
    list_->setColumnCount(kColumnCount);
    list_->setHeaderLabels({QStringLiteral("Profile"), QStringLiteral("File Type"), QStringLiteral("Date"),
                            QStringLiteral("Time"), QStringLiteral("Status")});
    for (const auto& [column, width] : {std::pair{kTargetColumn, 100}, {kFrequencyColumn, 75}, {kDateColumn, 100},
                                        {kTimeColumn, 100}, {kStateColumn, 100}})
        list_->setColumnWidth(column, width);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setToolTip(QStringLiteral("Double-click an entry (or press Space) to switch it On or Off"));

    // Fields.
    auto* when = new QGroupBox(QStringLiteral("When"), this);
    auto* grid = new QGridLayout(when);
    grid->addWidget(Label(QStringLiteral("&Frequency"), frequency_, this), 0, 0);
    grid->addWidget(frequency_, 0, 1);
    grid->addWidget(Label(QStringLiteral("Day of &Week"), weekday_, this), 0, 2);
    grid->addWidget(weekday_, 0, 3);
    grid->addWidget(Label(QStringLiteral("&Day of Month"), day_, this), 1, 0);
    grid->addWidget(day_, 1, 1);
    grid->addWidget(Label(QStringLiteral("&Month"), month_, this), 1, 2);
    grid->addWidget(month_, 1, 3);
    grid->addWidget(Label(QStringLiteral("&Year"), year_, this), 1, 4);
    grid->addWidget(year_, 1, 5);
    auto* time = new QHBoxLayout;
    time->addWidget(hour_);
    time->addWidget(new QLabel(QStringLiteral(":"), this));
    time->addWidget(minute_);
    time->addStretch(1);
    grid->addWidget(Label(QStringLiteral("&Time"), hour_, this), 2, 0);
    grid->addLayout(time, 2, 1);
    grid->setColumnStretch(3, 1);

    auto* what = new QGroupBox(QStringLiteral("What"), this);
    auto* targetGrid = new QGridLayout(what);
    targetGrid->addWidget(useScript_, 0, 0, 1, 3);
    targetGrid->addWidget(Label(QStringLiteral("FTP Script F&ile"), scriptPath_, this), 1, 0);
    targetGrid->addWidget(scriptPath_, 1, 1);
    targetGrid->addWidget(browse_, 1, 2);
    targetGrid->addWidget(Label(QStringLiteral("FTP &Profile / File List"), link_, this), 2, 0);
    targetGrid->addWidget(link_, 2, 1, 1, 2);
    targetGrid->setColumnStretch(1, 1);

    auto* add = Button(QStringLiteral("&Add"), QStringLiteral("Add"), this);
    auto* remove = Button(QStringLiteral("D&elete"), QStringLiteral("Delete"), this);
    auto* reset = Button(QStringLiteral("&Reset"), QStringLiteral("Reset"), this);
    auto* ok = Button(QStringLiteral("OK"), QStringLiteral("OK"), this);
    ok->setDefault(true);
    auto* cancel = Button(QStringLiteral("Cancel"), QStringLiteral("Cancel"), this);
    auto* help = Button(QStringLiteral("&Help"), QStringLiteral("Help"), this);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {add, remove, reset}) buttons->addWidget(b);
    buttons->addStretch(1);
    for (QPushButton* b : {ok, cancel, help}) buttons->addWidget(b);

    auto* left = new QVBoxLayout;
    left->addWidget(when);
    left->addWidget(what);
    left->addWidget(list_, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);
    resize(640, 520);

    connect(frequency_, &QComboBox::currentIndexChanged, this, &SchedulerDialog::EnableFields);
    connect(useScript_, &QCheckBox::toggled, this, &SchedulerDialog::UpdateTargetChoice);
    connect(browse_, &QPushButton::clicked, this, &SchedulerDialog::Browse);
    connect(add, &QPushButton::clicked, this, &SchedulerDialog::Add);
    connect(remove, &QPushButton::clicked, this, &SchedulerDialog::Delete);
    connect(reset, &QPushButton::clicked, this, &SchedulerDialog::Reset);
    connect(ok, &QPushButton::clicked, this, &SchedulerDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &SchedulerDialog::reject);
    connect(help, &QPushButton::clicked, this, &SchedulerDialog::helpRequested);
    InstallHelpKey(this, help);
    connect(list_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { PickRow(list_->indexOfTopLevelItem(item)); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { ToggleRow(list_->indexOfTopLevelItem(item)); });
    // From the keyboard: moving the current row shows it, Space switches it.
    connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) PickRow(list_->indexOfTopLevelItem(item));
    });
    auto* toggle = new QAction(QStringLiteral("Switch On/Off"), list_);
    toggle->setShortcut(Qt::Key_Space);
    toggle->setShortcutContext(Qt::WidgetShortcut);
    list_->addAction(toggle);
    connect(toggle, &QAction::triggered, this, [this] { ToggleRow(list_->indexOfTopLevelItem(list_->currentItem())); });

    // The rows: every entry the store holds that is well formed and not past
    // its time; the lines it cannot show are kept for the save.
    LoadedSchedule loaded = LoadSchedule(clock_.Now());
    kept_ = std::move(loaded.malformed);
    for (ScheduleEntry& entry : loaded.entries) {
        AppendItem(entry);
        rows_.push_back(std::move(entry));
    }

    ShowFields(ScheduleFieldsAtNextMinute(clock_.Now()));
    frequency_->setCurrentIndex(-1);
    EnableFields();
    UpdateTargetChoice();
}

int SchedulerDialog::Open(QWidget* parent, const std::function<void()>& onHelp) {
    SchedulerDialog dialog(parent);
    if (onHelp) connect(&dialog, &SchedulerDialog::helpRequested, &dialog, onHelp);
    return dialog.exec();
}

ScheduleRequest SchedulerDialog::Fields() const {
    ScheduleRequest fields;
    fields.useScript = useScript_->isChecked();
    fields.scriptPath = Std(scriptPath_->text().trimmed());
    fields.linkName = link_->currentIndex() >= 0 ? Std(link_->currentText()) : std::string();
    fields.frequency = static_cast<ScheduleFrequency>(std::max(0, frequency_->currentIndex()));
    fields.day = day_->currentIndex() + 1;
    fields.month = month_->currentIndex() + 1;
    fields.year = year_->text().toInt();  // empty or not a number: 0, this year
    fields.hour = hour_->currentIndex();
    fields.minute = minute_->currentIndex();
    fields.weekday = weekday_->currentIndex();
    return fields;
}

void SchedulerDialog::ShowFields(const ScheduleRequest& fields) {
    day_->setCurrentIndex(fields.day - 1);
    month_->setCurrentIndex(fields.month - 1);
    year_->setText(QString::number(fields.year));
    hour_->setCurrentIndex(fields.hour);
    minute_->setCurrentIndex(fields.minute);
    weekday_->setCurrentIndex(fields.weekday);
}

void SchedulerDialog::EnableFields() {
    const int f = frequency_->currentIndex();
    const UsedFields used = f >= 0 && f < 7 ? kUsedFields[f] : UsedFields{false, false, false, false, false, false};
    day_->setEnabled(used.day);
    month_->setEnabled(used.month);
    year_->setEnabled(used.year);
    weekday_->setEnabled(used.weekday);
    hour_->setEnabled(used.hour);
    minute_->setEnabled(used.minute);
}

void SchedulerDialog::UpdateTargetChoice() {
    const bool script = useScript_->isChecked();
    browse_->setEnabled(script);
    scriptPath_->setEnabled(script);
    link_->setEnabled(!script);
}

void SchedulerDialog::AppendItem(const ScheduleEntry& entry) {
    auto* item = new QTreeWidgetItem(list_);
    item->setText(kTargetColumn, Q(entry.target));
    item->setToolTip(kTargetColumn, Q(entry.target));
    item->setText(kFrequencyColumn, Q(entry.frequency));
    item->setText(kDateColumn, Q(entry.date));
    item->setText(kTimeColumn, Q(entry.time));
    item->setText(kStateColumn, Q(entry.state));
    item->setIcon(kStateColumn, StateIcon(entry.state == ScheduleOnText()));
}

void SchedulerDialog::ShowState(int row) {
    const ScheduleEntry& entry = rows_[static_cast<std::size_t>(row)];
    QTreeWidgetItem* item = list_->topLevelItem(row);
    item->setText(kStateColumn, Q(entry.state));
    item->setIcon(kStateColumn, StateIcon(entry.state == ScheduleOnText()));
}

void SchedulerDialog::Add() {
    ScheduleRequestResult made = MakeScheduleEntry(Fields(), clock_.Now());
    // Without a frequency only the missing target is told first.
    if (made.error != ScheduleRequestError::NoTarget && frequency_->currentIndex() < 0) {
        (void)AskText(this, QStringLiteral("Please select a frequency!"), MessageKind::Information, MessageButtons::Ok);
        return;
    }
    switch (made.error) {
        case ScheduleRequestError::None: break;
        case ScheduleRequestError::NoTarget:
        case ScheduleRequestError::InPast:
            (void)AskMessage(this, MessageIdFor(made.error), MessageKind::Information, MessageButtons::Ok);
            return;
        case ScheduleRequestError::InvalidDate:
            (void)AskText(this, QStringLiteral("This date does not exist. Please change the date!"),
                          MessageKind::Information, MessageButtons::Ok);
            return;
    }
    rows_.push_back(std::move(*made.entry));
    AppendItem(rows_.back());
    changed_ = true;
}

void SchedulerDialog::Delete() {
    std::vector<int> selected;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows()) selected.push_back(index.row());
    if (selected.empty()) {
        (void)AskMessage(this, 297, MessageKind::Information, MessageButtons::Ok);
        return;
    }
    if (AskMessage(this, 298, MessageKind::Question, MessageButtons::OkCancel) != MessageAnswer::Ok) return;
    std::sort(selected.rbegin(), selected.rend());
    for (const int row : selected) {
        // The row goes first, so that the current row the view moves to names the same entry.
        rows_.erase(rows_.begin() + row);
        delete list_->takeTopLevelItem(row);
        ForgetScheduleRow(kept_, static_cast<std::size_t>(row));
    }
    Reset();
    changed_ = true;
}

void SchedulerDialog::Reset() {
    scriptPath_->clear();
    link_->setCurrentIndex(-1);
    frequency_->setCurrentIndex(-1);
    ShowFields(ScheduleFieldsAtNextMinute(clock_.Now()));
}

void SchedulerDialog::Browse() {
    FileRequest request;
    request.kind = FileRequest::Kind::Open;
    request.title = QStringLiteral("FTP Script File");
    request.filter = QStringLiteral("Zyfar Scripts (*.cmd)");
    request.defaultSuffix = QStringLiteral("cmd");
    if (const std::optional<QString> path = Prompt().ChooseFile(this, request)) scriptPath_->setText(*path);
}

void SchedulerDialog::PickRow(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return;
    const std::optional<ScheduleRequest> fields = ScheduleFieldsOf(rows_[static_cast<std::size_t>(row)], Fields());
    if (!fields) return;
    frequency_->setCurrentIndex(static_cast<int>(fields->frequency));
    ShowFields(*fields);
}

void SchedulerDialog::ToggleRow(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return;
    ToggleScheduleState(rows_[static_cast<std::size_t>(row)]);
    ShowState(row);
}

bool SchedulerDialog::Save() {
    if (SaveSchedule(rows_, kept_)) return true;
    (void)AskText(this,
                  QStringLiteral("The schedule could not be saved to %1.").arg(Q(CurrentSettingsFile())),
                  MessageKind::Stop, MessageButtons::Ok);
    return false;
}

void SchedulerDialog::accept() {
    if (Save()) QDialog::accept();
}

void SchedulerDialog::reject() {
    if (changed_) {
        const MessageAnswer answer = AskMessage(this, 296, MessageKind::Question, MessageButtons::YesNo);
        if (answer == MessageAnswer::Yes && !Save()) return;
    }
    QDialog::reject();
}

}  // namespace zyfar
