// The "System Config" sheet: what its pages show for a fresh store, what OK
// writes then, the refusals 352, 33049 and 33042 and the warning 241, the
// OK / Apply / Cancel storing rules, the log-file-name and profile-directory
// rules, the text-extension list, the Sounds page, help topics, keyboard.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>
#include <memory>

#include "config/ConfigPage.h"
#include "config/ConfigSheet.h"
#include "config/FolderBrowser.h"
#include "dialogs/ScriptedPrompter.h"
#include "platform/SoundPlayer.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"
#include "views/DriveTree.h"

using namespace zyfar;

namespace {

class RecordingPlayer final : public SoundPlayer {
public:
    void Play(const std::string& path) override { played.push_back(QString::fromStdString(path)); }
    QStringList played;
};

// A control of the sheet by accessible name; "Group>Name" looks inside one group box.
template <typename W = QWidget>
W* Find(QWidget* root, const QString& path) {
    const qsizetype split = path.indexOf(QLatin1Char('>'));
    if (split >= 0) {
        root = Find<QGroupBox>(root, path.left(split));
        if (root == nullptr) return nullptr;
    }
    const QString name = split >= 0 ? path.mid(split + 1) : path;
    for (W* w : root->findChildren<W*>())
        if (w->accessibleName() == name) return w;
    return nullptr;
}

// What a control shows: its text, "1"/"0" for a check box or radio button,
// the combo's text, the list's items; "~" marks a disabled control.
QString State(QWidget* root, const QString& name) {
    QString s = QStringLiteral("<none>");
    QWidget* w = nullptr;
    if (auto* e = Find<QLineEdit>(root, name)) s = e->text(), w = e;
    else if (auto* b = Find<QCheckBox>(root, name)) s = b->isChecked() ? "1" : "0", w = b;
    else if (auto* r = Find<QRadioButton>(root, name)) s = r->isChecked() ? "1" : "0", w = r;
    else if (auto* c = Find<QComboBox>(root, name)) s = c->currentText(), w = c;
    else if (auto* l = Find<QListWidget>(root, name)) {
        QStringList items;
        for (int i = 0; i < l->count(); ++i) items << l->item(i)->text();
        s = items.join(','), w = l;
    }
    return w != nullptr && !w->isEnabled() ? s + "~" : s;
}

// "name=value|name=value": fields get the text, check boxes "1"/"0", radio buttons are chosen.
void Set(QWidget* root, const QString& edits) {
    for (const QString& edit : edits.split('|', Qt::SkipEmptyParts)) {
        const QString name = edit.section('=', 0, 0);
        const QString value = edit.section('=', 1);
        if (auto* e = Find<QLineEdit>(root, name)) e->setText(value);
        else if (auto* b = Find<QCheckBox>(root, name)) b->setChecked(value == "1");
        else if (auto* r = Find<QRadioButton>(root, name)) r->setChecked(true);
        else if (auto* c = Find<QComboBox>(root, name)) {
            QVERIFY2(c->findText(value) >= 0, qPrintable(name + ": no entry " + value));
            c->setCurrentIndex(c->findText(value));
        } else QFAIL(qPrintable("no control " + name));
    }
}

// Every key of the settings file as "SECTION/Key=value", in file order.
QStringList Stored() {
    QStringList out;
    const IniDocument doc = ReadPrivateProfile(CurrentSettingsFile());
    for (const std::string& section : doc.SectionNames())
        for (const auto& [key, value] : doc.GetSection(section))
            out << QString::fromStdString(section + "/" + key + "=" + value);
    return out;
}

QString StoredValue(const QString& sectionKey) {
    const auto v = FindProfileString(sectionKey.section('/', 0, 0).toStdString(), sectionKey.section('/', 1).toStdString());
    return v ? QString::fromStdString(*v) : QStringLiteral("<absent>");
}

// "SECTION/Key=value|...": each key holds that value ("<absent>" when missing).
void CheckStored(const QString& expected) {
    for (const QString& e : expected.split('|', Qt::SkipEmptyParts))
        QCOMPARE(e.section('=', 0, 0) + "=" + StoredValue(e.section('=', 0, 0)), e);
}

}  // namespace

class ConfigSheetTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ScriptedPrompter> prompter_;
    QString Tmp(const QString& name) const { return dir_->path() + "/" + name; }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"}) qputenv(v, Tmp(v).toUtf8());
        SetSettingsFileForTesting(Tmp("Zyfar.ini").toStdString());
        prompter_ = std::make_unique<ScriptedPrompter>();
        SetPrompter(prompter_.get());
    }
    void cleanup() {
        SetPrompter(nullptr);
        prompter_.reset();
        SetSettingsFileForTesting("");
        dir_.reset();
    }

    void defaultsShown_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("shown");
        QTest::newRow("FTP") << 0 << "User's E-mail address=|Connection Retries=2|Connection Time-Out=20|"
                                     "Receive Time-Out (Data)=20|Send Time-Out (Data)=20|Receive Time-Out (Control)=20|"
                                     "Send Time-Out (Control)=20|Passive mode=0|Cache Data=1|Reload From Wire=1|"
                                     "Resume interrupted transfers=1|Verify content=When the server offers it|"
                                     "Encryption for quick connects=None";
        QTest::newRow("Proxies") << 1 << "Direct Access=1|Pre-configured Access=0|CERN Proxy Access=0|"
                                         "Proxy Server Name=~|Proxy Port Number=2021~|FTP Default Port=21";
        QTest::newRow("System") << 2 << "Folders>Zyfar Data Files=|Folders>Log Directory=|Folders>Profile Directory=|"
                                        "Connect To Network Drives=0|Overwrite Existing Files=0|"
                                        "Drag and Drop Sub-Directories from Windows Explorer=0|mm/dd/yyyy=1|"
                                        "dd/mm/yyyy=0|Read Buffer=4096|Write Buffer=4096|"
                                        "Upload File Names (PUT)>Preserve Case=1|Download File Names (GET)>Preserve Case=1";
        QTest::newRow("Log") << 3 << "Log To Screen=0|All=1|Log to file=0|File Name=~|Append Between Sessions=0~|"
                                     "Log time format=hh:mm (hh: 0-23)|Log date format=dd/mm/yy";
        QTest::newRow("Ascii") << 4 << "Text file extensions=|File Extension=";
        QTest::newRow("Sounds") << 5 << "Connection Established=|Transfer done=|Connection Failed=|Transfer Failed=|"
                                        "File=0|Batch of files=1";
        QTest::newRow("Queue") << 6 << "Automatically Add Failed Transfers to Queue=0|Send Until Complete=0~|"
                                       "Number of  Resends:=1~|Number of Resends=0~|Resend every (minutes)=0|"
                                       "Empty Queue=1";
        QTest::newRow("Misc") << 7 << "Horizontally=1|Move=1|Drag & Drop Directories Recursively=1|No Path=1|"
                                      "Local File Double Click Action>No Action=1|"
                                      "Remote File Double Click Action>No Action=1|On Local host after PUT=0|"
                                      "On Remote host after GET=0|Rename long file names=0";
    }
    void defaultsShown() {
        QFETCH(int, page);
        QFETCH(QString, shown);
        ConfigSheet sheet;
        sheet.SetCurrentPage(page);
        QWidget* p = sheet.Pages()[page];
        for (const QString& s : shown.split('|')) QCOMPARE(s.section('=', 0, 0) + "=" + State(p, s.section('=', 0, 0)), s);
    }

    void freshStoreOkWritesThePageDefaults() {
        ConfigSheet sheet;
        QSignalSpy stored(&sheet, &ConfigSheet::stored);
        for (int i = ConfigSheet::PageCount - 1; i >= 0; --i) sheet.SetCurrentPage(i);
        Set(&sheet, "User's E-mail address=me@example.org");
        sheet.accept();
        QCOMPARE(sheet.result(), int(QDialog::Accepted));
        QCOMPARE(stored.count(), 1);
        QVERIFY(prompter_->asked().empty());
        QStringList want{
            "CONFIG/Email=me@example.org", "FTP/Retry=2", "FTP/ConnectTo=20", "FTP/RecTo=20", "FTP/SendTo=20",
            "FTP/RecToCtrl=20", "FTP/SendToCtrl=20", "FTP/Cache=YES", "FTP/Reload=YES", "FTP/Passive=NO",
            "FTP/Resume=YES", "FTP/VerifyHash=AUTO", "FTP/Encryption=NONE",
            "FTP/AccessType=DirectAccess", "FTP/ProxyName=", "FTP/ProxyPort=2021", "FTP/Port=21", "CONFIG/DataDir=",
            "CONFIG/DefaultDir=", "CONFIG/ProfilePath=", "CONFIG/ConnectNet=NO", "CONFIG/Overwrite=NO",
            "CONFIG/DragDropSubDirs=NO", "CONFIG/TimeType=MM/DD", "FTP/ReadBuffer=4096", "FTP/WriteBuffer=4096",
            "CONFIG/FileCasingPut=PRESERVE", "CONFIG/FileCasingGet=PRESERVE", "LOG/ToScreen=NO", "LOG/View=ALL",
            "LOG/ToFile=NO", "LOG/AppendLog=NO", "LOG/FileName=", "LOG/TimeFormat=0", "LOG/DateFormat=0",
            "CONFIG/TextExtensions=", "SOUNDS/ConnectOk=", "SOUNDS/TransferOk=", "SOUNDS/ConnectFail=",
            "SOUNDS/TransferFail=", "SOUNDS/TransferType=BATCH", "SCHEDULE/ResendFail=0",
            "SCHEDULE/ResendFreq=FREQ_NUM", "SCHEDULE/ResendFreqNum=0", "SCHEDULE/ResendTime=0",
            "SCHEDULE/StartQueueProg=0", "CONFIG/ScreenSplit=HORIZ", "CONFIG/DragDrop=MOVE", "CONFIG/DragDropDirs=YES",
            "CONFIG/FTPDirTree=NO_PATH", "CONFIG/LocalDblClick=NO_ACTION", "CONFIG/RemoteDblClick=NO_ACTION",
            "CONFIG/DeletePut=NO", "CONFIG/DeleteGet=NO", "CONFIG/RenameLongFileNames=NO"};
        QStringList got = Stored();
        got.sort();
        want.sort();
        QCOMPARE(got, want);
    }

    // The FTP page's transfer switches show what the program makes of the
    // stored texts (an unreadable encryption is explicit TLS, never clear
    // text) and store the texts of the entries chosen.
    void ftpTransferSwitches_data() {
        QTest::addColumn<QString>("stored");  // Resume|VerifyHash|Encryption, "-" absent
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("edits");
        QTest::addColumn<QString>("storedAfter");
        QTest::newRow("absent: the defaults")
            << "-|-|-" << "1|When the server offers it|None" << ""
            << "FTP/Resume=YES|FTP/VerifyHash=AUTO|FTP/Encryption=NONE";
        QTest::newRow("off, required, implicit")
            << "NO|REQUIRE|IMPLICIT" << "0|Always (fail if the server cannot)|Implicit TLS" << ""
            << "FTP/Resume=NO|FTP/VerifyHash=REQUIRE|FTP/Encryption=IMPLICIT";
        QTest::newRow("unreadable texts") << "maybe|SOMETIMES|tls" << "0|When the server offers it|Explicit TLS (AUTH TLS)"
                                          << "" << "FTP/Resume=NO|FTP/VerifyHash=AUTO|FTP/Encryption=EXPLICIT";
        QTest::newRow("chosen")
            << "-|-|-" << "1|When the server offers it|None"
            << "Resume interrupted transfers=0|Verify content=Never|Encryption for quick connects=Explicit TLS (AUTH TLS)"
            << "FTP/Resume=NO|FTP/VerifyHash=NO|FTP/Encryption=EXPLICIT";
    }
    void ftpTransferSwitches() {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QFETCH(QString, edits);
        QFETCH(QString, storedAfter);
        WriteProfileString("CONFIG", "Email", "me@example.org");
        const QStringList values = stored.split('|');
        const char* keys[] = {"Resume", "VerifyHash", "Encryption"};
        for (int i = 0; i < 3; ++i)
            if (values[i] != "-") WriteProfileString("FTP", keys[i], values[i].toStdString());
        ConfigSheet sheet;
        sheet.SetCurrentPage(0);
        QWidget* page = sheet.Pages()[0];
        QCOMPARE(QStringList({State(page, "Resume interrupted transfers"), State(page, "Verify content"),
                              State(page, "Encryption for quick connects")})
                     .join('|'),
                 shown);
        Set(page, edits);
        // ZYFAR_SHOT=<png>: a picture of the FTP page (run under Xvfb).
        if (const QString shot = qEnvironmentVariable("ZYFAR_SHOT"); !shot.isEmpty() && QTest::currentDataTag() == QLatin1String("chosen")) {
            sheet.show();
            QVERIFY(QTest::qWaitForWindowExposed(&sheet));
            QVERIFY(sheet.grab().save(shot));
        }
        sheet.accept();
        CheckStored(storedAfter);
    }

    // Each refusal keeps the sheet open on its page and stores no page at all
    // (FTP, shown and valid, included); 241 warns and the rest is stored.
    void validation_data() {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("edits");
        QTest::addColumn<int>("message");
        QTest::addColumn<bool>("keptOpen");
        QTest::addColumn<QString>("stored");
        QTest::newRow("352 empty e-mail") << 0 << "User's E-mail address= " << 352 << true << "FTP/Retry=<absent>";
        QTest::newRow("33049 CERN without name")
            << 1 << "CERN Proxy Access=1|Proxy Server Name=" << 33049 << true << "FTP/AccessType=<absent>|FTP/Retry=<absent>";
        QTest::newRow("33049 CERN without port")
            << 1 << "CERN Proxy Access=1|Proxy Server Name=proxy.test|Proxy Port Number=" << 33049 << true
            << "FTP/ProxyName=<absent>";
        QTest::newRow("33042 log file without name")
            << 3 << "Log to file=1|File Name=" << 33042 << true << "LOG/ToFile=<absent>|FTP/Retry=<absent>";
        QTest::newRow("241 warns, count kept, rest stored")
            << 6 << "Automatically Add Failed Transfers to Queue=1|Number of  Resends:=1|Number of Resends=|"
                    "Resend every (minutes)=15"
            << 241 << false
            << "SCHEDULE/ResendFreqNum=7|SCHEDULE/ResendFail=1|SCHEDULE/ResendFreq=FREQ_NUM|SCHEDULE/ResendTime=15|FTP/Retry=2";
    }
    void validation() {
        QFETCH(int, page);
        QFETCH(QString, edits);
        QFETCH(int, message);
        QFETCH(bool, keptOpen);
        QFETCH(QString, stored);
        WriteProfileString("CONFIG", "Email", "me@example.org");
        WriteProfileInt("SCHEDULE", "ResendFreqNum", 7);
        ConfigSheet sheet;
        sheet.show();
        sheet.SetCurrentPage(page);
        Set(&sheet, edits);
        sheet.SetCurrentPage(ConfigSheet::MiscTab);  // OK goes back to the page that refuses
        sheet.accept();
        QCOMPARE(prompter_->AskedIds(), std::vector<int>{message});
        QCOMPARE(sheet.isVisible(), keptOpen);
        if (keptOpen) QCOMPARE(sheet.CurrentPage(), page);
        CheckStored(stored);
    }

    // Steps: "show:N", "set:<edits>", "apply", "ok", "cancel", "apply?0|1" (Apply's enabled state).
    void storingRules_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("stored");
        QTest::newRow("Apply follows the current page's changes and stores that page")
            << "apply?0;set:Connection Retries=5;apply?1;show:1;apply?0;show:0;apply?1;apply;apply?0;"
               "set:Connection Retries=6;cancel"
            << "FTP/Retry=5|FTP/Port=<absent>";
        QTest::newRow("a non-number stores 0") << "set:Connection Retries=many;apply" << "FTP/Retry=0";
        QTest::newRow("OK stores the shown pages only")
            << "show:7;set:Vertically=1;ok" << "CONFIG/ScreenSplit=VERT|FTP/Retry=2|FTP/Port=<absent>|LOG/View=<absent>";
        QTest::newRow("Cancel stores nothing") << "show:7;set:Vertically=1;cancel" << "CONFIG/ScreenSplit=<absent>";
        QTest::newRow("log name mylog.txt") << "show:3;set:Log to file=1|File Name=mylog.txt;apply" << "LOG/FileName=mylog.log";
        QTest::newRow("log name mylog") << "show:3;set:Log to file=1|File Name=mylog;apply" << "LOG/FileName=mylog.log";
        QTest::newRow("log name .x") << "show:3;set:Log to file=1|File Name=.x;apply" << "LOG/FileName=.x.log";
        QTest::newRow("no .log without a log file")
            << "show:3;set:Log to file=0|File Name=mylog.txt;apply" << "LOG/FileName=mylog.txt";
    }
    void storingRules() {
        QFETCH(QString, steps);
        QFETCH(QString, stored);
        WriteProfileString("CONFIG", "Email", "me@example.org");
        ConfigSheet sheet;
        sheet.show();
        for (const QString& step : steps.split(';')) {
            if (step.startsWith("show:")) sheet.SetCurrentPage(step.mid(5).toInt());
            else if (step.startsWith("set:")) Set(&sheet, step.mid(4));
            else if (step.startsWith("apply?")) QCOMPARE(sheet.ApplyButton()->isEnabled(), step.endsWith('1'));
            else if (step == "apply") QVERIFY(sheet.Apply());
            else if (step == "ok") sheet.accept();
            else if (step == "cancel") sheet.reject();
        }
        QCOMPARE(sheet.isVisible(), !steps.endsWith("ok") && !steps.endsWith("cancel"));
        QVERIFY(prompter_->asked().empty());
        CheckStored(stored);
        if (steps.contains("File Name")) QCOMPARE(Find<QLineEdit>(&sheet, "File Name")->text(), StoredValue("LOG/FileName"));
    }

    void profileDirectory_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("stored");  // "<absent>": refused
        QTest::addColumn<QStringList>("made");  // folders below the stored base
        QTest::newRow("a Profiles folder stores its parent, makes nothing") << "base/Profiles" << "base" << QStringList{};
        QTest::newRow("another folder gets the three folders") << "new" << "new" << QStringList{"Files", "Links", "Profiles"};
        QTest::newRow("a folder that cannot be made is refused") << "file/sub" << "<absent>" << QStringList{};
    }
    void profileDirectory() {
        QFETCH(QString, chosen);
        QFETCH(QString, stored);
        QFETCH(QStringList, made);
        QFile file(Tmp("file"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        ConfigSheet sheet;
        sheet.SetCurrentPage(ConfigSheet::SystemTab);
        prompter_->fileAnswers.push_back(Tmp(chosen));
        Find<QPushButton>(&sheet, "Profile Directory")->click();
        QCOMPARE(State(&sheet, "Folders>Profile Directory"), Tmp(chosen));
        QCOMPARE(sheet.Apply(), stored != "<absent>");
        QCOMPARE(StoredValue("CONFIG/ProfilePath"), stored == "<absent>" ? stored : Tmp(stored));
        QCOMPARE(prompter_->asked().size(), size_t(stored == "<absent>" ? 2 : 1));  // the browser, the refusal
        if (stored != "<absent>") QCOMPARE(QDir(Tmp(stored)).entryList(QDir::Dirs | QDir::NoDotAndDotDot), made);
    }

    void asciiList_data() {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<int>("removeRow");
        QTest::addColumn<QString>("stored");
        QTest::newRow("the same text twice is kept once") << QStringList{"txt", "txt"} << -1 << "txt,";
        QTest::newRow("TXT and txt are both kept") << QStringList{"txt", "TXT"} << -1 << "TXT,txt,";
        QTest::newRow("sorted; Remove drops the selected entry") << QStringList{"txt", "htm", "Doc"} << 0 << "htm,txt,";
    }
    void asciiList() {
        QFETCH(QStringList, typed);
        QFETCH(int, removeRow);
        QFETCH(QString, stored);
        ConfigSheet sheet;
        sheet.SetCurrentPage(ConfigSheet::AsciiTab);
        auto* add = Find<QPushButton>(&sheet, "Add");
        for (const QString& t : typed) {
            QVERIFY(!add->isEnabled());
            Find<QLineEdit>(&sheet, "File Extension")->setText(t);
            add->click();
        }
        if (removeRow >= 0) {
            Find<QListWidget>(&sheet, "Text file extensions")->setCurrentRow(removeRow);
            Find<QPushButton>(&sheet, "Remove")->click();
        }
        QVERIFY(sheet.Apply());
        QCOMPARE(StoredValue("CONFIG/TextExtensions"), stored);
    }

    void soundsPage() {
        WriteProfileString("CONFIG", "Email", "me@example.org");
        WriteProfileString("SOUNDS", "ConnectOk", "/snd/ok.oga");
        WriteProfileString("SOUNDS", "ConnectFail", "NOT_FOUND");
        auto player = std::make_shared<RecordingPlayer>();
        SetSoundPlayer(player);
        ConfigSheet sheet;
        sheet.SetCurrentPage(ConfigSheet::SoundsTab);
        QCOMPARE(State(&sheet, "Connection Established") + State(&sheet, "Connection Failed"), QString("/snd/ok.oga"));
        Find<QPushButton>(&sheet, "Test Connection Established")->click();
        Find<QPushButton>(&sheet, "Test Transfer done")->click();  // empty: nothing played
        prompter_->fileAnswers.push_back("/snd/done.wav");
        Find<QPushButton>(&sheet, "Browse for Transfer done")->click();
        QCOMPARE(prompter_->asked().at(0).title, QString("Sound Files (*.wav *.oga *.ogg)"));
        QCOMPARE(State(&sheet, "Transfer done"), QString("/snd/done.wav"));
        Find<QPushButton>(&sheet, "Clear")->click();
        Set(&sheet, "File=1");
        sheet.accept();
        SetSoundPlayer(nullptr);
        QCOMPARE(player->played, QStringList{"/snd/ok.oga"});
        CheckStored("SOUNDS/ConnectOk=|SOUNDS/TransferOk=|SOUNDS/ConnectFail=|SOUNDS/TransferFail=|SOUNDS/TransferType=FILE");
    }

    void helpTopicIsTheCurrentPagesAndKeysAreReachable() {
        ConfigSheet sheet;
        QSignalSpy help(&sheet, &ConfigSheet::helpRequested);
        const QStringList topics{"config-ftp",    "config-proxies", "config-system", "config-log",
                                 "config-ascii", "config-sounds",  "config-queue",  "config-misc"};
        QStringList sheetKeys;  // tab and dialog-button mnemonics
        for (auto* b : sheet.ApplyButton()->parentWidget()->findChildren<QPushButton*>()) sheetKeys << QKeySequence::mnemonic(b->text()).toString();
        for (int i = 0; i < ConfigSheet::PageCount; ++i) {
            sheet.SetCurrentPage(i);
            sheet.RequestHelp();
            QCOMPARE(help.takeFirst().at(0).toString(), topics[i]);
            sheetKeys << QKeySequence::mnemonic(sheet.Pages()[i]->Title()).toString();
        }
        for (ConfigPage* page : sheet.Pages()) {
            QStringList keys = sheetKeys;
            for (auto* b : page->findChildren<QAbstractButton*>()) keys << QKeySequence::mnemonic(b->text()).toString();
            for (auto* l : page->findChildren<QLabel*>())
                if (l->buddy() != nullptr) keys << QKeySequence::mnemonic(l->text()).toString();
            for (auto* g : page->findChildren<QGroupBox*>()) keys << QKeySequence::mnemonic(g->title()).toString();
            keys.removeAll(QString());
            QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
            for (auto* w : page->findChildren<QWidget*>())
                if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractButton*>(w) ||
                    qobject_cast<QListWidget*>(w))
                    QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(page->accessibleName()));
        }
    }

    void folderBrowserFollowsTheTree() {
        QDir(dir_->path()).mkpath("a/b");
        FolderBrowser browser(Tmp("a"));
        QCOMPARE(browser.Path(), Tmp("a"));
        QVERIFY(browser.Tree()->ShowFolder(Tmp("a/b")));
        QCOMPARE(browser.Path(), Tmp("a/b"));
        QCOMPARE(browser.Tree()->Tree()->dragDropMode(), QAbstractItemView::NoDragDrop);
    }
};

QTEST_MAIN(ConfigSheetTest)
#include "ConfigSheetTest.moc"
