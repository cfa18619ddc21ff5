// The file list's row model and list base: names shown escaped, sorting by
// each column both ways, the "File (mask)" heading, the "Modified" text for
// server and local times, and selecting rows by flags.
#include <QtTest>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "support/UiTestEnv.h"
#include "views/FileView.h"

using namespace zyfar;

namespace {

class TestList final : public CFileView {
public:
    explicit TestList(bool utcTimes = false) : CFileView(utcTimes) {}
    [[nodiscard]] FileListKind Kind() const override { return FileListKind::Remote; }
    [[nodiscard]] CBrowseTree* BrowseTree() const override { return nullptr; }
};

FileRow Row(const char* name, std::int64_t size, std::int64_t modified, FileRowKind kind = FileRowKind::File) {
    FileRow row;
    row.name = name;
    row.size = size;
    row.modified = modified;
    row.kind = kind;
    return row;
}

// Sizes around 2^31 and 2^32, equal sizes and equal folded names (the sort
// is stable), an unknown time and one before 1970.
std::vector<FileRow> SortRows() {
    return {Row("b.txt", 3000000000LL, 1000),          Row("A.dat", 5, kNoTime),
            Row("c", -1, 2000, FileRowKind::Folder),   Row("d.txt", 2147483648LL, 500),
            Row("e.bin", 4294967297LL, -100),          Row("B.txt", 5, 1000)};
}

QStringList Names(const FileRowsModel& model) {
    QStringList names;
    for (const FileRow& r : model.Rows()) names << QString::fromStdString(r.name);
    return names;
}

}  // namespace

class FileViewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Local times three hours east of UTC, no daylight saving: a local
        // model that showed server (UTC) times would show other hours.
        qputenv("TZ", "XYZ-3");
        tzset();
    }

    void displayName_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ascii with backslash") << QByteArray("a\\b.txt") << QStringLiteral("a\\b.txt");
        QTest::newRow("valid 2, 3, 4 bytes") << QByteArray("Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5 \xF0\x9F\x98\x80")
                                             << QString::fromUtf8("Grüße 日 😀");
        QTest::newRow("no-break space after C1") << QByteArray("a\xC2\xA0" "b") << QString::fromUtf8("a\u00A0b");
        QTest::newRow("highest code point") << QByteArray("\xF4\x8F\xBF\xBF") << QString::fromUtf8("\U0010FFFF");
        QTest::newRow("latin-1 byte") << QByteArray("caf\xE9") << QStringLiteral("caf\\xe9");
        QTest::newRow("lone continuation") << QByteArray("\x80x") << QStringLiteral("\\x80x");
        QTest::newRow("cut at the end") << QByteArray("a\xE2\x82") << QStringLiteral("a\\xe2\\x82");
        QTest::newRow("cut by ascii") << QByteArray("\xE2\x82" "A") << QStringLiteral("\\xe2\\x82A");
        QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << QStringLiteral("\\xc0\\xaf");
        QTest::newRow("overlong 3 bytes") << QByteArray("\xE0\x80\xAF") << QStringLiteral("\\xe0\\x80\\xaf");
        QTest::newRow("overlong 4 bytes") << QByteArray("\xF0\x8F\xBF\xBF") << QStringLiteral("\\xf0\\x8f\\xbf\\xbf");
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QStringLiteral("\\xed\\xa0\\x80");
        QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << QStringLiteral("\\xf4\\x90\\x80\\x80");
        QTest::newRow("5-byte lead") << QByteArray("\xF8\x88") << QStringLiteral("\\xf8\\x88");
        QTest::newRow("C0 controls") << QByteArray("a\tb\nc\x1B") << QStringLiteral("a\\x09b\\x0ac\\x1b");
        QTest::newRow("NUL") << QByteArray("a\0b", 3) << QStringLiteral("a\\x00b");
        QTest::newRow("DEL") << QByteArray("x\x7F") << QStringLiteral("x\\x7f");
        QTest::newRow("C1 control") << QByteArray("x\xC2\x85y") << QStringLiteral("x\\xc2\\x85y");
        QTest::newRow("C1 last") << QByteArray("\xC2\x9F") << QStringLiteral("\\xc2\\x9f");
    }
    void displayName() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(DisplayName(bytes.toStdString()), shown);
    }

    void sortByColumn_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QStringList>("names");
        const int up = kSortAscending, down = kSortDescending;
        QTest::newRow("name up") << int(FileRowsModel::ColName) << up
                                 << QStringList{"A.dat", "b.txt", "B.txt", "c", "d.txt", "e.bin"};
        QTest::newRow("name down") << int(FileRowsModel::ColName) << down
                                   << QStringList{"e.bin", "d.txt", "c", "b.txt", "B.txt", "A.dat"};
        QTest::newRow("size up") << int(FileRowsModel::ColSize) << up
                                 << QStringList{"c", "A.dat", "B.txt", "d.txt", "b.txt", "e.bin"};
        QTest::newRow("size down") << int(FileRowsModel::ColSize) << down
                                   << QStringList{"e.bin", "b.txt", "d.txt", "A.dat", "B.txt", "c"};
        QTest::newRow("modified up") << int(FileRowsModel::ColModified) << up
                                     << QStringList{"A.dat", "e.bin", "d.txt", "b.txt", "B.txt", "c"};
        QTest::newRow("modified down") << int(FileRowsModel::ColModified) << down
                                       << QStringList{"c", "b.txt", "B.txt", "d.txt", "e.bin", "A.dat"};
    }
    void sortByColumn() {
        QFETCH(int, column);
        QFETCH(int, direction);
        QFETCH(QStringList, names);
        uitest::UiTestEnv env;
        FileRowsModel model(false);
        model.SetRows("/f", SortRows());
        model.SortRows(column, direction);
        QCOMPARE(Names(model), names);
    }

    // The type texts come from the desktop's type database: the order is
    // checked against the model's own texts, and the rows of one type keep
    // their order.
    void sortByType_data() {
        QTest::addColumn<int>("direction");
        QTest::newRow("up") << int(kSortAscending);
        QTest::newRow("down") << int(kSortDescending);
    }
    void sortByType() {
        QFETCH(int, direction);
        uitest::UiTestEnv env;
        FileRowsModel model(false);
        model.SetRows("/f", SortRows());
        model.SortRows(FileRowsModel::ColType, direction);
        QCOMPARE(model.RowCount(), 6);
        for (int i = 1; i < model.RowCount(); ++i) {
            const int order = model.TypeText(i - 1).toLower().compare(model.TypeText(i).toLower());
            QVERIFY2(direction == kSortAscending ? order <= 0 : order >= 0, qPrintable(Names(model).join(',')));
        }
        QVERIFY(Names(model).indexOf("b.txt") < Names(model).indexOf("B.txt"));
        QVERIFY(Names(model).indexOf("b.txt") < Names(model).indexOf("d.txt"));
        QCOMPARE(model.TypeText(Names(model).indexOf("c")), QStringLiteral("Folder"));
    }

    // Rows handed from one list to another (a refresh, a copy of a list)
    // get the types of the list they land in.
    void rowsFromAnotherList_data() {
        QTest::addColumn<bool>("append");
        QTest::newRow("set") << false;
        QTest::newRow("append") << true;
    }
    void rowsFromAnotherList() {
        QFETCH(bool, append);
        uitest::UiTestEnv env;
        FileRowsModel first(false);
        first.SetRows("/f", {Row("a.zip", 1, 0), Row("b.png", 1, 0), Row("c.txt", 1, 0), Row("d", 0, 0, FileRowKind::Folder)});
        QStringList types;
        for (int i = 0; i < first.RowCount(); ++i) types << first.TypeText(i);
        FileRowsModel second(false);
        second.SetRows("/g", {Row("d", 0, 0, FileRowKind::Folder)});
        QCOMPARE(second.TypeText(0), QStringLiteral("Folder"));
        if (append) second.AppendRecords(first.Rows());
        else second.SetRows("/g", first.Rows());
        const int offset = append ? 1 : 0;
        QCOMPARE(second.RowCount(), first.RowCount() + offset);
        for (int i = 0; i < first.RowCount(); ++i) QCOMPARE(second.TypeText(i + offset), types[i]);
    }

    void maskHeading_data() {
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("heading");
        QTest::newRow("star dot star") << "*.*" << "File";
        QTest::newRow("star") << "*" << "File";
        QTest::newRow("empty") << "" << "File";
        QTest::newRow("filter") << "*.txt" << "File (*.txt)";
    }
    void maskHeading() {
        QFETCH(QString, mask);
        QFETCH(QString, heading);
        uitest::UiTestEnv env;
        TestList list;
        list.SetMask("*.zip");  // a filter set before, replaced
        list.SetMask(mask);
        QCOMPARE(list.Mask(), mask);
        QCOMPARE(list.Files()->headerData(0, Qt::Horizontal).toString(), heading);
    }

    void timeText_data() {
        QTest::addColumn<bool>("utc");
        QTest::addColumn<QString>("timeType");
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        const qint64 march7 = 1772874300;  // 2026-03-07 09:05 UTC
        QTest::newRow("server MM/DD") << true << "MM/DD" << march7 << "03/07/2026  09:05";
        QTest::newRow("server DD/MM") << true << "DD/MM" << march7 << "07/03/2026  09:05";
        QTest::newRow("server MON/DD") << true << "MON/DD" << march7 << "Mar/07/2026  09:05";
        QTest::newRow("server DD/MON") << true << "DD/MON" << march7 << "07/Mar/2026  09:05";
        QTest::newRow("server unknown type") << true << "YY/QQ" << march7 << "03/07/2026  09:05";
        QTest::newRow("server before 1970") << true << "MM/DD" << qint64(-86400) << "12/31/1969  00:00";
        QTest::newRow("server 2075") << true << "MM/DD" << qint64(3326572800) << "06/01/2075  00:00";
        QTest::newRow("server unknown time") << true << "MM/DD" << qint64(kNoTime) << "";
        QTest::newRow("local MM/DD") << false << "MM/DD" << march7 << "03/07/2026  12:05";
        QTest::newRow("local DD/MON") << false << "DD/MON" << march7 << "07/Mar/2026  12:05";
        QTest::newRow("local new year") << false << "DD/MM" << qint64(1798756200) << "01/01/2027  01:30";
        QTest::newRow("local unknown time") << false << "MM/DD" << qint64(kNoTime) << "";
    }
    void timeText() {
        QFETCH(bool, utc);
        QFETCH(QString, timeType);
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        uitest::UiTestEnv env;
        FileRowsModel model(utc);
        model.SetTimeType(timeType.toStdString());
        QCOMPARE(model.TimeText(seconds), text);
        model.SetRows("/f", {Row("x", 1, seconds)});
        QCOMPARE(model.CellText(0, FileRowsModel::ColModified), text);
    }

    void selectRowsByFlags_data() {
        QTest::addColumn<QString>("flags");  // '1' selects the row
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<int>("ranges");
        QTest::newRow("all") << "11111111" << QList<int>{0, 1, 2, 3, 4, 5, 6, 7} << 1;
        QTest::newRow("none") << "00000000" << QList<int>{} << 0;
        QTest::newRow("every other") << "10101010" << QList<int>{0, 2, 4, 6} << 4;
        QTest::newRow("runs to the end") << "01100111" << QList<int>{1, 2, 5, 6, 7} << 2;
        QTest::newRow("fewer flags than rows") << "011" << QList<int>{1, 2} << 1;
        QTest::newRow("more flags than rows") << "0000000111" << QList<int>{7} << 1;
        QTest::newRow("no flags") << "" << QList<int>{} << 0;
    }
    void selectRowsByFlags() {
        QFETCH(QString, flags);
        QFETCH(QList<int>, selected);
        QFETCH(int, ranges);
        uitest::UiTestEnv env;
        TestList list;
        std::vector<FileRow> rows;
        for (int i = 0; i < 8; ++i) rows.push_back(Row(qPrintable(QString("f%1").arg(i)), i, 0));
        list.Files()->SetRows("/f", std::move(rows));
        list.SelectAllRows();  // what was selected before is replaced
        std::vector<bool> on;
        for (QChar c : flags) on.push_back(c == '1');
        list.SelectRowsByFlags(on);
        const std::vector<int> got = list.SelectedRows();
        QCOMPARE(QList<int>(got.begin(), got.end()), selected);
        QCOMPARE(list.SelectionModel()->selection().size(), ranges);
    }

    // A transfer run keeps the list's link weakly: it must live as long as
    // the list, follow the folder shown, and refresh the list at the end.
    void refreshLinkOutlivesTheRunsBuilding() {
        uitest::UiTestEnv env;
        std::weak_ptr<TransferViewLink> held;
        {
            TestList list;
            list.Files()->SetRows("/a", {Row("x", 1, 0)});
            held = list.RefreshLink();
            QVERIFY(!held.expired());
            QCOMPARE(held.lock()->ShownDirectoryText(), std::string("/a"));
            list.Files()->SetRows("/b", {});
            QCOMPARE(held.lock()->ShownDirectoryText(), std::string("/b"));
            held.lock()->Refresh();  // posted; the list is gone before it runs
        }
        QVERIFY(held.expired());
        QCoreApplication::processEvents();  // the posted refresh finds no list and does nothing
    }
};

QTEST_MAIN(FileViewTest)
#include "FileViewTest.moc"
