// The list and tree bases: sorting with the direction table and heading
// arrows, Clear List's question, Grid, Adjust Column Width, the styles, the
// append-or-replace question, the drop decision, and the tree's current item
// and drag-over selection.
#include <QHeaderView>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "dialogs/ScriptedPrompter.h"
#include "settings/SettingsStore.h"
#include "views/TextRowsModel.h"
#include "views/ZyfarTree.h"
#include "views/ZyfarView.h"

using namespace zyfar;

namespace {

// A list that records what the base hands to the derived view.
class RecordingView : public CZyfarView {
public:
    int deletes = 0;
    std::vector<DropInfo> drops;
    void DeleteSelection() override {
        ++deletes;
        CZyfarView::DeleteSelection();
    }
    void DropOperation(const DropInfo& info) override { drops.push_back(info); }
};

class RecordingTree : public CZyfarTree {
public:
    int news = 0;
    int deletes = 0;
    std::vector<DropInfo> drops;
    void NewItem() override { ++news; }
    void DeleteItem() override { ++deletes; }
    void DropOperation(const DropInfo& info) override { drops.push_back(info); }
};

const QList<QStringList> kRows = {
    {"delta", "2", "x"}, {"Alpha", "10", "y"}, {"charlie", "2", "z"}, {"bravo", "1", "w"}};

TextRowsModel* MakeModel(const QList<QStringList>& rows = kRows) {
    auto* model = new TextRowsModel;
    model->SetHeaders({"Name", "Size", "Note"});
    model->AppendRows(rows);
    return model;
}

QStringList Column(const CZyfarView& view, int column) {
    QStringList texts;
    for (int row = 0; row < view.RowCount(); ++row) texts << view.Model()->CellText(row, column);
    return texts;
}

DragPayload PayloadFrom(quint64 source, std::vector<int> rows, DragSourceKind kind = DragSourceKind::List) {
    DragPayload p;
    p.process = QCoreApplication::applicationPid();
    p.source = source;
    p.kind = kind;
    p.rows = std::move(rows);
    p.itemPath = kind == DragSourceKind::Tree ? QStringLiteral("/srv/a") : QString();
    return p;
}

}  // namespace

class ZyfarViewTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void init() { SetSettingsFileForTesting((dir_.path() + "/Zyfar.ini").toStdString()); }
    void cleanup() { SetSettingsFileForTesting(""); }

    void sortsByClickedColumnWithArrows_data() {
        QTest::addColumn<QList<int>>("clicks");   // -1: Clear List (answered OK) and refill
        QTest::addColumn<bool>("viaHeader");      // a real mouse click on the heading
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QStringList>("firstColumn");
        QTest::newRow("once ascending") << QList<int>{0} << false << 0 << 1
                                        << QStringList{"Alpha", "bravo", "charlie", "delta"};
        QTest::newRow("twice descending") << QList<int>{0, 0} << true << 0 << 2
                                          << QStringList{"delta", "charlie", "bravo", "Alpha"};
        QTest::newRow("three times ascending") << QList<int>{0, 0, 0} << false << 0 << 1
                                               << QStringList{"Alpha", "bravo", "charlie", "delta"};
        // Numbers by value; equal sizes keep their order (stable).
        QTest::newRow("other column moves the arrow") << QList<int>{0, 1} << true << 1 << 1
                                                      << QStringList{"bravo", "charlie", "delta", "Alpha"};
        QTest::newRow("stable descending") << QList<int>{1, 1} << false << 1 << 2
                                           << QStringList{"Alpha", "delta", "charlie", "bravo"};
        QTest::newRow("after clear first click is 1") << QList<int>{0, -1, 0} << false << 0 << 1
                                                       << QStringList{"Alpha", "bravo", "charlie", "delta"};
    }
    void sortsByClickedColumnWithArrows() {
        QFETCH(QList<int>, clicks);
        QFETCH(bool, viaHeader);
        QFETCH(int, column);
        QFETCH(int, direction);
        QFETCH(QStringList, firstColumn);
        ScriptedPrompter prompter;
        CZyfarView view;
        view.SetModel(MakeModel());
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QHeaderView* header = view.ReportView()->header();
        for (int c : clicks) {
            if (c < 0) {
                prompter.messageAnswers.push_back(MessageAnswer::Ok);
                QVERIFY(view.HandleCommand(cmd::ClearList));
                static_cast<TextRowsModel*>(view.Model())->AppendRows(kRows);
            } else if (viaHeader) {
                const QPoint at(header->sectionViewportPosition(c) + header->sectionSize(c) / 2, header->height() / 2);
                QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
            } else {
                view.ClickColumn(c);
            }
        }
        QCOMPARE(view.SortDirection(column), direction);
        QCOMPARE(Column(view, 0), firstColumn);
        for (int c = 0; c < 3; ++c)
            QCOMPARE(view.HeadingImage(c), c == column ? (direction == 1 ? kHeadingArrowUp : kHeadingArrowDown)
                                                       : kHeadingNoArrow);
        QCOMPARE(header->sortIndicatorSection(), column);
        QCOMPARE(header->sortIndicatorOrder(), direction == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
        QCOMPARE(prompter.unexpected(), 0);
    }

    void sortingAnEmptyListDoesNothing() {
        CZyfarView view;
        view.SetModel(MakeModel({}));
        view.ClickColumn(1);
        QCOMPARE(view.SortDirection(1), 2);
        QCOMPARE(view.HeadingImage(1), kHeadingNoArrow);
        QCOMPARE(view.ReportView()->header()->sortIndicatorSection(), -1);
    }

    void selectionFollowsSortedRows() {
        CZyfarView view;
        view.SetModel(MakeModel());
        QVERIFY(view.SelectFirstRowByText("delta"));
        view.ClickColumn(0);
        QCOMPARE(view.SelectedRows(), std::vector<int>{3});
        QCOMPARE(view.CurrentRow(), 3);
        QVERIFY(!view.SelectFirstRowByText("Delta"));  // exact text only
    }

    void clearListAsks345_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("answer");  // -1: nothing asked
        QTest::addColumn<int>("rowsAfter");
        QTest::newRow("OK clears") << 4 << int(MessageAnswer::Ok) << 0;
        QTest::newRow("Cancel keeps rows") << 4 << int(MessageAnswer::Cancel) << 4;
        QTest::newRow("empty list is not asked") << 0 << -1 << 0;
    }
    void clearListAsks345() {
        QFETCH(int, rows);
        QFETCH(int, answer);
        QFETCH(int, rowsAfter);
        ScriptedPrompter prompter;
        if (answer >= 0) prompter.messageAnswers.push_back(MessageAnswer(answer));
        CZyfarView view;
        view.SetModel(MakeModel(kRows.mid(0, rows)));
        if (rows > 0) view.ClickColumn(2);
        QVERIFY(view.HandleCommand(cmd::ClearList));
        QCOMPARE(view.RowCount(), rowsAfter);
        QCOMPARE(prompter.AskedIds(), answer >= 0 ? std::vector<int>{345} : std::vector<int>{});
        if (answer >= 0) {
            QCOMPARE(prompter.asked().front().buttons, MessageButtons::OkCancel);
            QCOMPARE(prompter.asked().front().icon, MessageKind::Question);
        }
        const bool cleared = rowsAfter == 0;
        QCOMPARE(view.SortDirection(2), cleared ? 2 : 1);
        QCOMPARE(view.HeadingImage(2), cleared ? kHeadingNoArrow : kHeadingArrowUp);
    }

    void gridTwiceLeavesOtherOptions() {
        CZyfarView view;
        view.SetModel(MakeModel());
        QTreeView* t = view.ReportView();
        t->setAlternatingRowColors(true);  // an option someone else set
        auto options = [&] {
            return QList<int>{t->alternatingRowColors(), int(t->selectionBehavior()), int(t->selectionMode()),
                              t->rootIsDecorated(), t->uniformRowHeights(), t->allColumnsShowFocus(),
                              t->header()->sectionsMovable(), t->dragEnabled(), int(view.Style())};
        };
        const QList<int> before = options();
        QVERIFY(view.HandleCommand(cmd::Grid));
        QVERIFY(view.GridLines());
        QCOMPARE(view.CommandStateOf(cmd::Grid)->checked, std::optional<bool>(true));
        QCOMPARE(options(), before);
        QVERIFY(view.HandleCommand(cmd::Grid));
        QVERIFY(!view.GridLines());
        QCOMPARE(view.CommandStateOf(cmd::Grid)->checked, std::optional<bool>(false));
        QCOMPARE(options(), before);
    }

    void adjustColumnWidthAdds20InReportStyle() {
        CZyfarView view;
        view.SetModel(MakeModel({{"a-rather-long-name-of-a-file.txt", "1", ""}, {"b", "123456789", "n"}}));
        view.resize(500, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // Fitted without the extra pixels (icon style), then with them (report).
        view.SetStyle(ViewStyle::SmallIcons);
        view.HandleCommand(cmd::AdjustColumns);
        QList<int> fitted;
        for (int c = 0; c < 3; ++c) fitted << view.ColumnWidth(c);
        view.SetStyle(ViewStyle::Report);
        for (int c = 0; c < 3; ++c) view.SetColumnWidth(c, 7);
        view.HandleCommand(cmd::AdjustColumns);
        const QFontMetrics fm = view.ReportView()->fontMetrics();
        for (int c = 0; c < 3; ++c) QCOMPARE(view.ColumnWidth(c), fitted[c] + kReportColumnExtra);
        QVERIFY(fitted[0] >= fm.horizontalAdvance("a-rather-long-name-of-a-file.txt"));
        QVERIFY(fitted[2] >= view.ReportView()->header()->sectionSizeHint(2));  // the heading "Note"
        // List style: one width for the whole list, as wide as its widest label.
        view.SetStyle(ViewStyle::List);
        view.HandleCommand(cmd::AdjustColumns);
        QVERIFY(view.IconView()->gridSize().width() > fm.horizontalAdvance("a-rather-long-name-of-a-file.txt"));
        // An empty list changes nothing.
        view.SetStyle(ViewStyle::Report);
        view.DeleteAllRows();
        view.SetColumnWidth(0, 33);
        view.HandleCommand(cmd::AdjustColumns);
        QCOMPARE(view.ColumnWidth(0), 33);
    }

    void styleCommandsCheckExactlyOne_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("style");
        QTest::newRow("1129 small") << cmd::StyleSmall << int(ViewStyle::SmallIcons);
        QTest::newRow("1130 large") << cmd::StyleLarge << int(ViewStyle::LargeIcons);
        QTest::newRow("1131 list") << cmd::StyleList << int(ViewStyle::List);
        QTest::newRow("59409 large") << cmd::ListLargeIcons << int(ViewStyle::LargeIcons);
        QTest::newRow("59411 details") << cmd::ListDetails << int(ViewStyle::Report);
    }
    void styleCommandsCheckExactlyOne() {
        QFETCH(int, command);
        QFETCH(int, style);
        CZyfarView view;
        view.SetModel(MakeModel());
        view.SetStyle(ViewStyle::List);  // start elsewhere than every row's target but one
        view.SelectRow(2);
        QVERIFY(view.HandleCommand(command));
        QCOMPARE(int(view.Style()), style);
        const int styleCommands[] = {cmd::StyleReport, cmd::StyleSmall, cmd::StyleLarge, cmd::StyleList};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(view.CommandStateOf(styleCommands[i])->checked, std::optional<bool>(i == style));
        QCOMPARE(view.ActiveItemView(), style == int(ViewStyle::Report)
                                            ? static_cast<QAbstractItemView*>(view.ReportView())
                                            : view.IconView());
        QCOMPARE(view.SelectedRows(), std::vector<int>{2});  // one selection for both views
    }

    void deleteKeyAndContextMenu() {
        RecordingView view;
        view.SetModel(MakeModel());
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.SelectRow(1);
        view.SelectRow(3);
        QTest::keyClick(view.ReportView(), Qt::Key_Delete);
        QCOMPARE(view.deletes, 1);
        QCOMPARE(Column(view, 0), (QStringList{"delta", "charlie"}));
        // Without a menu a right click shows nothing; with one, it pops up.
        QContextMenuEvent noMenu(QContextMenuEvent::Mouse, QPoint(5, 5), view.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(view.ReportView()->viewport(), &noMenu);
        QMenu menu;
        menu.addAction("Select All");
        view.SetContextMenu(&menu);
        QContextMenuEvent withMenu(QContextMenuEvent::Mouse, QPoint(5, 5), view.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(view.ReportView()->viewport(), &withMenu);
        QTRY_VERIFY(menu.isVisible());
        menu.close();
    }

    void appendOrReplace_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("button");  // -1: not asked
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("rowsAfter");
        QTest::newRow("empty list counts as append") << 0 << -1 << int(AppendOrReplace::Append) << 0;
        QTest::newRow("Replace empties the list") << 4 << 0 << int(AppendOrReplace::Replace) << 0;
        QTest::newRow("Append keeps it") << 4 << 1 << int(AppendOrReplace::Append) << 4;
        QTest::newRow("Cancel keeps it") << 4 << 2 << int(AppendOrReplace::Cancel) << 4;
    }
    void appendOrReplace() {
        QFETCH(int, rows);
        QFETCH(int, button);
        QFETCH(int, answer);
        QFETCH(int, rowsAfter);
        ScriptedPrompter prompter;
        if (button >= 0) prompter.threeButtonAnswers.push_back(button);
        CZyfarView view;
        view.SetModel(MakeModel(kRows.mid(0, rows)));
        QCOMPARE(int(view.AskAppendOrReplace()), answer);
        QCOMPARE(view.RowCount(), rowsAfter);
        QCOMPARE(prompter.asked().size(), std::size_t(button >= 0 ? 1 : 0));
        if (button >= 0) {
            QCOMPARE(prompter.asked().front().title, QStringLiteral("Append or Replace?"));
            QCOMPARE(prompter.asked().front().text,
                     QStringLiteral("Would you like to append or replace the current list?"));
        }
        QCOMPARE(prompter.unexpected(), 0);
    }

    void dropDecision_data() {
        QTest::addColumn<int>("case_");
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<int>("action");
        // 0 list rows onto another list, 1 onto a tree, 2 onto the same list,
        // 3 from another process, 4 source deleted, 5 tree item onto a tree,
        // 6 damaged payload
        QTest::newRow("list to list, Ctrl copies") << 0 << true << int(DropAction::Copy);
        QTest::newRow("list to list moves") << 0 << false << int(DropAction::Move);
        QTest::newRow("list to tree, Ctrl copies") << 1 << true << int(DropAction::Copy);
        QTest::newRow("list to tree moves") << 1 << false << int(DropAction::Move);
        QTest::newRow("onto its own list") << 2 << false << int(DropAction::None);
        QTest::newRow("another process") << 3 << false << int(DropAction::None);
        QTest::newRow("deleted source") << 4 << true << int(DropAction::None);
        QTest::newRow("tree item to tree") << 5 << false << int(DropAction::Move);
        QTest::newRow("damaged payload") << 6 << false << int(DropAction::None);
    }
    void dropDecision() {
        QFETCH(int, case_);
        QFETCH(bool, ctrl);
        QFETCH(int, action);
        auto source = std::make_unique<RecordingView>();
        source->SetModel(MakeModel());
        RecordingView other;
        RecordingTree tree;
        DragPayload payload = PayloadFrom(source->DragSourceNumber(), {1, 2});
        DropTargetKind kind = case_ == 1 || case_ == 5 ? DropTargetKind::Tree : DropTargetKind::List;
        QWidget* target = case_ == 1 || case_ == 5 ? static_cast<QWidget*>(&tree) : &other;
        if (case_ == 2) target = source.get();
        if (case_ == 3) payload.process += 1;
        if (case_ == 5) payload = PayloadFrom(tree.DragSourceNumber(), {}, DragSourceKind::Tree);
        // Through the MIME data, as a drop sees it.
        std::unique_ptr<QMimeData> data(MakeDragData(payload));
        if (case_ == 6) data->setData(kRowsMimeType, EncodeDragPayload(payload).left(9));
        if (case_ == 4) source.reset();  // a screen rebuild during the drag
        const std::optional<DragPayload> decoded = DragPayloadOf(data.get());
        QCOMPARE(decoded.has_value(), case_ != 6);
        if (!decoded) return;
        QCOMPARE(*decoded, payload);
        const DropDecision d = DecideDrop(*decoded, kind, ctrl ? Qt::ControlModifier : Qt::NoModifier, target);
        QCOMPARE(int(d.action), action);
        DropInfo info;
        info.targetTree = &tree;
        QCOMPARE(DeliverDrop(d, *decoded, info), action != int(DropAction::None));
        if (case_ == 0 || case_ == 1) {
            QCOMPARE(source->drops.size(), std::size_t(1));
            QCOMPARE(source->drops[0].rows, (std::vector<int>{1, 2}));
            QCOMPARE(int(source->drops[0].action), action);
        }
        if (case_ == 5) QCOMPARE(tree.drops.at(0).itemPath, QStringLiteral("/srv/a"));
    }

    void treeRightClickDragOverAndKeys() {
        RecordingTree tree;
        QStandardItem* a = tree.Model()->AddItem(nullptr, "a", "/a");
        QStandardItem* b = tree.Model()->AddItem(nullptr, "b", "/b");
        tree.Model()->AddItem(nullptr, "ab", "/ab", {}, true);  // in name order between a and b
        QCOMPARE(tree.Model()->item(1)->text(), QStringLiteral("ab"));
        tree.resize(300, 300);
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        tree.SetCurrentItem(a->index());
        // A right click on an item that is not selected makes it current.
        QMenu menu;
        tree.SetContextMenu(&menu);
        tree.RightClickAt(tree.Tree()->visualRect(b->index()).center());
        QCOMPARE(tree.CurrentItem(), b->index());
        QCOMPARE(tree.Tree()->selectionModel()->selectedIndexes(), QModelIndexList{b->index()});
        menu.close();
        QTest::keyClick(tree.Tree(), Qt::Key_Insert);
        QTest::keyClick(tree.Tree(), Qt::Key_Delete);
        QCOMPARE(tree.news, 1);
        QCOMPARE(tree.deletes, 1);

        // Rows dragged over the tree select the item under the cursor; leaving
        // restores the one selected before; Ctrl gives the copy action.
        CZyfarView list;
        list.SetModel(MakeModel());
        std::unique_ptr<QMimeData> data(MakeDragData(PayloadFrom(list.DragSourceNumber(), {0})));
        QWidget* vp = tree.Tree()->viewport();
        const QPoint overA = tree.Tree()->visualRect(a->index()).center();
        QDragEnterEvent enter(overA, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::ControlModifier);
        QApplication::sendEvent(vp, &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QVERIFY(tree.DragOver());
        QCOMPARE(tree.Tree()->currentIndex(), a->index());
        QCOMPARE(tree.CurrentItem(), b->index());  // the hover does not change the item the commands act on
        QDragMoveEvent move(overA, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &move);
        QCOMPARE(move.dropAction(), Qt::MoveAction);
        QDragLeaveEvent leave;
        QApplication::sendEvent(vp, &leave);
        QVERIFY(!tree.DragOver());
        QCOMPARE(tree.Tree()->currentIndex(), b->index());
    }
};

QTEST_MAIN(ZyfarViewTest)
#include "ZyfarViewTest.moc"
