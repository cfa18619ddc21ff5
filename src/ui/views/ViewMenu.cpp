#include "views/ViewMenu.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

#include "app/Commands.h"

namespace zyfar {

QString ViewCommandText(int id) {
    switch (id) {
    case cmd::AddSite: return QStringLiteral("Add an &FTP site");
    case cmd::UpdateSite: return QStringLiteral("Update a s&elected FTP site");
    case cmd::ShowFullPath: return QStringLiteral("Show the &full path to the file");
    case cmd::ShowFileName: return QStringLiteral("Show &only the file name");
    case cmd::SelectTreeItem: return QStringLiteral("&Select Tree Item");
    case cmd::ImportPrevious: return QStringLiteral("&Import from previous version");
    case cmd::SaveList: return QStringLiteral("Sa&ve the current list of items");
    case cmd::Rename: return QStringLiteral("Re&name Folder or set a remote name");
    case cmd::Delete: return QStringLiteral("&Delete");
    case cmd::NewItem: return QStringLiteral("&New");
    case cmd::RenameItem: return QStringLiteral("&Rename");
    case cmd::DeleteItem: return QStringLiteral("&Delete");
    default: return {};
    }
}

namespace {

bool IsCheckItem(int id) { return id == cmd::ShowFullPath || id == cmd::ShowFileName; }

// The view first, then the widgets around it inside its window (a window
// that handles its tree's Select and Import itself).
bool Handle(QWidget* view, int id) {
    for (QWidget* w = view; w != nullptr; w = w->parentWidget()) {
        if (auto* t = dynamic_cast<CommandTarget*>(w); t != nullptr && t->HandleCommand(id)) return true;
        if (w->isWindow()) break;
    }
    return false;
}

std::optional<CommandState> StateOf(const QWidget* view, int id) {
    for (const QWidget* w = view; w != nullptr; w = w->parentWidget()) {
        if (const auto* t = dynamic_cast<const CommandTarget*>(w))
            if (std::optional<CommandState> s = t->CommandStateOf(id)) return s;
        if (w->isWindow()) break;
    }
    return std::nullopt;
}

QAction* OwnAction(QMenu* menu, QWidget* view, int id) {
    QString text = ViewCommandText(id);
    if (text.isEmpty()) text = QStringLiteral("Command %1").arg(id);
    auto* action = new QAction(text, menu);
    action->setObjectName(QStringLiteral("command%1").arg(id));
    action->setData(id);
    action->setCheckable(IsCheckItem(id));
    QPointer<QWidget> guarded(view);
    QObject::connect(action, &QAction::triggered, menu, [guarded, id] { (void)Handle(guarded.data(), id); });
    QObject::connect(menu, &QMenu::aboutToShow, action, [guarded, action, id] {
        const std::optional<CommandState> state = StateOf(guarded.data(), id);
        action->setEnabled(state.has_value() && state->enabled);
        if (action->isCheckable()) action->setChecked(state && state->checked.value_or(false));
    });
    return action;
}

}  // namespace

QMenu* BuildViewMenu(QWidget* view, CommandTable* table, std::initializer_list<int> ids) {
    QMenu* menu = table != nullptr ? table->BuildContextMenu(view, {}) : new QMenu(view);
    if (table == nullptr) menu->setAccessibleName(view->accessibleName() + QStringLiteral(" menu"));
    for (int id : ids) {
        if (id == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* shared = table != nullptr && CommandTable::Known(id) && ViewCommandText(id).isEmpty() ? table->Action(id)
                                                                                                       : nullptr;
        menu->addAction(shared != nullptr ? shared : OwnAction(menu, view, id));
    }
    return menu;
}

}  // namespace zyfar
