// The batch output window: lines arrive batched, Stop/Resume (33034/33035),
// Cancel suspends and asks 207, the window stays after the run, and closing
// it while a "message" line waits ends the wait and cancels the run.
#include <QFile>
#include <QPushButton>
#include <QtTest>
#include <optional>

#include "DialogTestSupport.h"
#include "dialogs/BatchOutputDlg.h"
#include "dialogs/ScriptedPrompter.h"

using namespace zyfar;
using namespace zyfar::uitest;

class BatchOutputDlgTest : public QObject {
    Q_OBJECT
private:
    PrivateHome home_;
    QString WriteScript(const QString& name, const QByteArray& text) {
        const QString path = home_.path() + "/" + name;
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(text);
        return path;
    }
    struct Started {
        QPointer<BatchOutputDlg> dialog;
        std::shared_ptr<std::optional<ScriptRunResult>> result = std::make_shared<std::optional<ScriptRunResult>>();
    };
    Started Start(const QString& path) {
        Started s;
        auto result = s.result;
        s.dialog = BatchOutputDlg::RunScript(path, [result](const ScriptRunResult& r) { *result = r; });
        return s;
    }

private slots:
    void linesShown_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("lines");  // after the path line
        QTest::addColumn<int>("errorBlocks");
        QTest::newRow("comment and beep") << QByteArray("/ nothing\nbeep\n") << 0 << 0;
        QTest::newRow("unknown line") << QByteArray("frobnicate now\n") << 5 << 1;
        QByteArray many;
        for (int i = 0; i < 4000; ++i) many += "bad " + QByteArray::number(i) + "\n";
        QTest::newRow("20,000 lines") << many << 20000 << 4000;
    }
    void linesShown() {
        QFETCH(QByteArray, script);
        QFETCH(int, lines);
        QFETCH(int, errorBlocks);
        ScriptedPrompter prompter;
        const QString path = WriteScript("lines.cmd", script);
        Started s = Start(path);
        QTRY_VERIFY_WITH_TIMEOUT(s.result->has_value(), 30000);
        QVERIFY(s.dialog);
        QCOMPARE(s.dialog->LineCount(), lines + 1);
        QCOMPARE(s.dialog->Lines().first(), path);
        QCOMPARE((*s.result)->errorBlocks, errorBlocks);
        if (errorBlocks > 0) QCOMPARE(s.dialog->Lines().mid(1, 2), (QStringList{"========", "ERROR!"}));
        // Batched: far fewer flushes than lines for a long run.
        if (lines >= 20000) QVERIFY2(s.dialog->Flushes() < lines / 10, qPrintable(QString::number(s.dialog->Flushes())));
        // The window stays after the run, Stop disabled, until the user closes it.
        QCOMPARE(s.dialog->State(), 3);
        QVERIFY(s.dialog->isVisible());
        QVERIFY(!s.dialog->StopButton()->isEnabled());
        QVERIFY(s.dialog->parentWidget() == nullptr);
        s.dialog->CancelButton()->click();
        QTRY_VERIFY(s.dialog.isNull());
        QCOMPARE(prompter.unexpected(), 0);
    }

    // Stop while a message waits, then Cancel: 207 is asked with the run
    // suspended; No leaves it stopped, Yes cancels it and the window goes.
    void stopResumeAndCancel_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("No") << false;
        QTest::newRow("Yes") << true;
    }
    void stopResumeAndCancel() {
        QFETCH(bool, cancel);
        ScriptedPrompter prompter;
        prompter.messageAnswers = {MessageAnswer::Ok};
        Started s;
        QStringList texts;
        prompter.duringMessage = [&](const ScriptedPrompter::Asked& a) {
            if (a.text != "first") return;
            s.dialog->StopClicked();
            texts << s.dialog->StopButton()->text() << QString::number(s.dialog->State());
            s.dialog->StopClicked();
            texts << s.dialog->StopButton()->text() << QString::number(s.dialog->State());
            s.dialog->StopClicked();
        };
        s = Start(WriteScript("stop.cmd", "message first\nbogus\n"));
        QTRY_VERIFY(prompter.asked().size() == 1 && !s.dialog->ShowingMessage());
        QCOMPARE(texts, (QStringList{"Resume", "2", "Stop", "1"}));
        QCOMPARE(s.dialog->State(), 2);
        prompter.messageAnswers = {cancel ? MessageAnswer::Yes : MessageAnswer::No};
        s.dialog->CancelClicked();
        QCOMPARE(prompter.AskedIds().back(), 207);
        QCOMPARE(prompter.asked().back().buttons, MessageButtons::YesNo);
        if (cancel) {
            QTRY_VERIFY(s.dialog.isNull());
            QVERIFY(s.result->has_value());
            QCOMPARE((*s.result)->end, ScriptEnd::Cancelled);
            QCOMPARE((*s.result)->errorBlocks, 0);  // the line after the stop never ran
            return;
        }
        QCOMPARE(s.dialog->State(), 2);
        QCOMPARE(s.dialog->StopButton()->text(), QStringLiteral("Resume"));
        s.dialog->StopClicked();
        QTRY_VERIFY(s.result->has_value());
        QCOMPARE((*s.result)->end, ScriptEnd::EndOfFile);
        QTRY_VERIFY(s.dialog->Lines().contains("Could not parse this line in file:  bogus"));
        QVERIFY(s.dialog->isVisible());
        delete s.dialog.data();
    }

    // Closing the window while a "message" line waits: the wait ends, the run
    // is cancelled, the window goes once the run has ended; nothing hangs.
    void closeWhileMessageWaits() {
        ScriptedPrompter prompter;
        prompter.messageAnswers = {MessageAnswer::Ok};
        Started s;
        prompter.duringMessage = [&](const ScriptedPrompter::Asked&) {
            s.dialog->close();
            // The worker stopped waiting before the box answers.
            QTRY_VERIFY(s.dialog->State() == 3 || s.result->has_value() ||
                        s.dialog->Result().has_value());
        };
        s = Start(WriteScript("close.cmd", "message wait for me\nbogus\n"));
        QTRY_VERIFY(s.dialog.isNull());
        QVERIFY(s.result->has_value());
        QCOMPARE((*s.result)->end, ScriptEnd::Cancelled);
        QCOMPARE((*s.result)->errorBlocks, 0);
        QCOMPARE(BatchOutputDlg::OpenCount(), 0);
    }
};

QTEST_MAIN(BatchOutputDlgTest)
#include "BatchOutputDlgTest.moc"
