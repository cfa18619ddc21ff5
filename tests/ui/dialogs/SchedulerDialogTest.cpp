// The scheduler dialog: the fields open at the next whole minute of a pinned
// clock, each frequency enables its fields, Add refuses with 33046 / 295,
// a double-click switches a row, Delete asks 297 / 298, Cancel asks 296 only
// after rows were added or deleted, and lines the dialog cannot show survive
// its save where they stood.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "dialogs/SchedulerDialog.h"
#include "dialogs/ScriptedPrompter.h"
#include "settings/SettingsStore.h"
#include "support/UiTestEnv.h"

using namespace zyfar;

namespace {

const LocalDateTime kNoon{2025, 6, 15, 14, 30, 20};

// A private store with one link, "nightly", and the given Timer lines.
struct Store {
    uitest::UiTestEnv env;
    explicit Store(const QStringList& lines = {}) {
        env.WriteFile("base/Links/nightly.ini", "[LINK]\n");
        for (int i = 0; i < lines.size(); ++i)
            WriteProfileString("SCHEDULE", "Timer" + std::to_string(i), lines[i].toStdString());
        WriteProfileString("SCHEDULE", "NumTimers", std::to_string(lines.size()));
    }
};

QStringList StoredLines() {
    QStringList out;
    const int n = std::stoi(GetProfileString("SCHEDULE", "NumTimers", "0"));
    for (int i = 0; i < n; ++i)
        out << QString::fromStdString(GetProfileString("SCHEDULE", "Timer" + std::to_string(i), "<missing>"));
    return out;
}

// The rows as "target frequency date time state".
QStringList Shown(const SchedulerDialog& dialog) {
    QStringList out;
    const QTreeWidget* list = dialog.EntryList();
    for (int r = 0; r < list->topLevelItemCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < list->columnCount(); ++c) cells << list->topLevelItem(r)->text(c);
        out << cells.join(QLatin1Char(' '));
    }
    return out;
}

void Choose(QComboBox* combo, const QString& text) {
    const int i = combo->findText(text);
    QVERIFY2(i >= 0, qPrintable(text));
    combo->setCurrentIndex(i);
}

}  // namespace

class SchedulerDialogTest : public QObject {
    Q_OBJECT
private slots:
    void opensAtTheNextWholeMinute_data() {
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("day");
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<QString>("shown");  // day month year hour:minute weekday
        QTest::newRow("new year") << 12 << 31 << 23 << 59 << "01 January 2026 00:00 Thursday";
        QTest::newRow("30 April") << 4 << 30 << 23 << 59 << "01 May 2025 00:00 Thursday";
        QTest::newRow("28 February") << 2 << 28 << 23 << 59 << "01 March 2025 00:00 Saturday";
        QTest::newRow("31 January") << 1 << 31 << 23 << 59 << "01 February 2025 00:00 Saturday";
        QTest::newRow("next hour") << 6 << 15 << 14 << 59 << "15 June 2025 15:00 Sunday";
    }
    void opensAtTheNextWholeMinute() {
        QFETCH(int, month);
        QFETCH(int, day);
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(QString, shown);
        Store store;
        const FixedClock clock({2025, month, day, hour, minute, 59});
        const SchedulerDialog d(nullptr, clock);
        QCOMPARE(QStringList({d.DayList()->currentText(), d.MonthCombo()->currentText(), d.YearEdit()->text(),
                              d.HourList()->currentText() + ":" + d.MinuteList()->currentText(),
                              d.WeekdayCombo()->currentText()})
                     .join(QLatin1Char(' ')),
                 shown);
    }

    void frequencyEnablesItsFields_data() {
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<QString>("enabled");
        QTest::newRow("Once") << "Once" << "day month year hour minute";
        QTest::newRow("Today") << "Today" << "hour minute";
        QTest::newRow("Hourly") << "Hourly" << "minute";
        QTest::newRow("Daily") << "Daily" << "hour minute";
        QTest::newRow("Weekly") << "Weekly" << "weekday hour minute";
        QTest::newRow("Monthly") << "Monthly" << "day hour minute";
        QTest::newRow("Yearly") << "Yearly" << "day month hour minute";
    }
    void frequencyEnablesItsFields() {
        QFETCH(QString, frequency);
        QFETCH(QString, enabled);
        Store store;
        const FixedClock clock(kNoon);
        SchedulerDialog d(nullptr, clock);
        Choose(d.FrequencyCombo(), frequency);
        QStringList on;
        for (const auto& [name, widget] : std::initializer_list<std::pair<QString, QWidget*>>{
                 {"day", d.DayList()}, {"month", d.MonthCombo()}, {"year", d.YearEdit()},
                 {"weekday", d.WeekdayCombo()}, {"hour", d.HourList()}, {"minute", d.MinuteList()}})
            if (widget->isEnabled()) on << name;
        QCOMPARE(on.join(QLatin1Char(' ')), enabled);
    }

    // Add at 14:30:20 on 15/06/2025 with the fields given; the message asked
    // (0 none) and the row added.
    void addRefusesOrAdds_data() {
        QTest::addColumn<QString>("target");  // "link", "script", "" (none), "checked empty" (box set, no path)
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<int>("message");
        QTest::addColumn<QString>("added");
        QTest::newRow("no target") << "" << "Daily" << 9 << 0 << 33046 << "";
        QTest::newRow("script box set, no path, no link") << "checked empty" << "Daily" << 9 << 0 << 33046 << "";
        QTest::newRow("once, this minute") << "link" << "Once" << 14 << 30 << 295 << "";
        QTest::newRow("once, an hour ago") << "link" << "Once" << 13 << 45 << 295 << "";
        QTest::newRow("today, this minute") << "link" << "Today" << 14 << 30 << 295 << "";
        QTest::newRow("once, next minute") << "link" << "Once" << 14 << 31 << 0
                                           << "nightly Once 15/06/2025 14:31 On";
        QTest::newRow("hourly ignores the hour") << "script" << "Hourly" << 3 << 30 << 0
                                                 << "/s/a b.cmd Hourly ---- --:30 On";
        QTest::newRow("weekly") << "link" << "Weekly" << 8 << 0 << 0 << "nightly Weekly Sunday 08:00 On";
    }
    void addRefusesOrAdds() {
        QFETCH(QString, target);
        QFETCH(QString, frequency);
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(int, message);
        QFETCH(QString, added);
        Store store;
        const FixedClock clock(kNoon);
        SchedulerDialog d(nullptr, clock);
        ScriptedPrompter prompter;
        if (target == QLatin1String("link")) Choose(d.LinkCombo(), QStringLiteral("nightly"));
        if (target == QLatin1String("script") || target == QLatin1String("checked empty")) d.ScriptCheck()->setChecked(true);
        if (target == QLatin1String("script")) d.ScriptEdit()->setText(QStringLiteral("/s/a b.cmd"));
        Choose(d.FrequencyCombo(), frequency);
        d.HourList()->setCurrentIndex(hour);
        d.MinuteList()->setCurrentIndex(minute);
        d.Add();
        QCOMPARE(prompter.AskedIds(), message ? std::vector<int>{message} : std::vector<int>{});
        QCOMPARE(Shown(d), added.isEmpty() ? QStringList{} : QStringList{added});
        QCOMPARE(d.Changed(), !added.isEmpty());
    }

    // Cancel after what the user did: the question asked and what is stored then.
    void cancelAsks296AfterAddOrDelete_data() {
        QTest::addColumn<QString>("action");  // "toggle", "add", "delete"
        QTest::addColumn<int>("answer");      // to 296
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QStringList>("stored");
        const QString daily = "nightly Daily ---- 09:00 On";
        QTest::newRow("switched only: no question, nothing saved") << "toggle" << 0 << false << QStringList{daily};
        QTest::newRow("added, No") << "add" << int(MessageAnswer::No) << true << QStringList{daily};
        QTest::newRow("added, Yes") << "add" << int(MessageAnswer::Yes) << true
                                    << QStringList{daily, "nightly Monthly 15/--/-- 14:31 On"};
        QTest::newRow("deleted, Yes") << "delete" << int(MessageAnswer::Yes) << true << QStringList{};
    }
    void cancelAsks296AfterAddOrDelete() {
        QFETCH(QString, action);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(QStringList, stored);
        Store store({"nightly Daily ---- 09:00 On"});
        const FixedClock clock(kNoon);
        SchedulerDialog d(nullptr, clock);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        ScriptedPrompter prompter;
        QTreeWidget* list = d.EntryList();
        if (action == QLatin1String("toggle")) {
            // A double-click switches the row and back again, with its image.
            const QPoint at = list->visualItemRect(list->topLevelItem(0)).center();
            QStringList states;
            QList<qint64> images;
            for (int i = 0; i < 2; ++i) {
                // A real double-click: press and release, then the second press.
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
                states << list->topLevelItem(0)->text(4);
                images << list->topLevelItem(0)->icon(4).cacheKey();
            }
            QCOMPARE(states, QStringList({"Off", "On"}));
            QVERIFY(images[0] != images[1]);
            d.ToggleRow(0);  // left Off: Cancel still drops it without asking
        } else if (action == QLatin1String("add")) {
            Choose(d.LinkCombo(), QStringLiteral("nightly"));
            Choose(d.FrequencyCombo(), QStringLiteral("Monthly"));
            d.Add();
        } else {
            list->topLevelItem(0)->setSelected(true);
            prompter.messageAnswers.push_back(MessageAnswer::Ok);  // 298
            d.Delete();
        }
        if (asked) prompter.messageAnswers.push_back(MessageAnswer(answer));
        const auto before = prompter.AskedIds().size();
        d.reject();
        QCOMPARE(prompter.AskedIds().size() - before, asked ? 1u : 0u);
        if (asked) QCOMPARE(prompter.AskedIds().back(), 296);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(StoredLines(), stored);
        QCOMPARE(prompter.unexpected(), 0);
    }

    void deleteAsks297Then298() {
        Store store({"nightly Daily ---- 09:00 On", "nightly Hourly ---- --:15 On", "nightly Daily ---- 10:00 On"});
        const FixedClock clock(kNoon);
        SchedulerDialog d(nullptr, clock);
        ScriptedPrompter prompter;
        d.Delete();  // nothing selected
        QCOMPARE(prompter.AskedIds(), std::vector<int>{297});
        d.EntryList()->topLevelItem(0)->setSelected(true);
        d.EntryList()->topLevelItem(2)->setSelected(true);
        prompter.messageAnswers = {MessageAnswer::Cancel, MessageAnswer::Ok};
        d.Delete();
        QCOMPARE(Shown(d).size(), 3);
        QVERIFY(!d.Changed());
        d.Delete();
        QCOMPARE(prompter.AskedIds(), std::vector<int>({297, 298, 298}));
        QCOMPARE(Shown(d), QStringList{"nightly Hourly ---- --:15 On"});
        QVERIFY(d.Changed());
    }

    // Lines the dialog cannot show stay in the store as they were, each in
    // front of the entry it stood before; past "Once" entries are dropped.
    void unknownLinesSurviveTheSave() {
        Store store({"a Daily ---- 09:00 On",
                     "b Sometimes ---- 09:00 On",      // unknown frequency
                     "c Daily ---- 10:00 On",
                     "d Once 14/06/2025 10:00 On",     // past
                     "e Daily 09:00",                  // four fields
                     "f Weekly Friday 18:05 Off B"});  // six fields, shown
        const FixedClock clock(kNoon);
        SchedulerDialog d(nullptr, clock);
        QCOMPARE(Shown(d), QStringList({"a Daily ---- 09:00 On", "c Daily ---- 10:00 On",
                                        "f Weekly Friday 18:05 Off"}));
        ScriptedPrompter prompter;
        d.EntryList()->topLevelItem(1)->setSelected(true);  // c
        prompter.messageAnswers = {MessageAnswer::Ok};
        d.Delete();
        d.PickRow(1);  // f: its fields come back
        QCOMPARE(d.FrequencyCombo()->currentText() + " " + d.WeekdayCombo()->currentText() + " " +
                     d.HourList()->currentText() + ":" + d.MinuteList()->currentText(),
                 QStringLiteral("Weekly Friday 18:05"));
        d.ToggleRow(1);
        d.accept();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(StoredLines(), QStringList({"a Daily ---- 09:00 On", "b Sometimes ---- 09:00 On", "e Daily 09:00",
                                             "f Weekly Friday 18:05 On"}));
        QCOMPARE(prompter.unexpected(), 0);
    }
};

QTEST_MAIN(SchedulerDialogTest)
#include "SchedulerDialogTest.moc"
