#pragma once
// Dragging rows and tree items between the views of the main window.
//
// A drag carries an internal MIME type whose payload names the source view by
// a number from a registry of guarded pointers (a screen rebuild may delete
// the source while the drag is under way; the drop then does nothing), this
// process's id (a drag from another Zyfar process is not ours to serve), the
// dragged rows (or the dragged tree item's path). The effect is copy while
// Ctrl is held and move otherwise. On drop the target asks DecideDrop and,
// when it answers an action, calls the source's DropOperation with itself as
// the target (and, for a tree, the folder under the cursor). Files dragged in
// from the desktop come as text/uri-list; views that take them say so.
#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <Qt>
#include <optional>
#include <vector>

class QMimeData;
class QDropEvent;

namespace zyfar {

class CZyfarView;
class CZyfarTree;

inline constexpr const char* kRowsMimeType = "application/x-zyfar-rows";

enum class DragSourceKind { List, Tree };
enum class DropTargetKind { List, Tree };
enum class DropAction { None, Copy, Move };

struct DragPayload {
    qint64 process = 0;      // the application's process id
    quint64 source = 0;      // registry number of the source view
    DragSourceKind kind = DragSourceKind::List;
    std::vector<int> rows;   // the dragged rows of a list, ascending
    QString itemPath;        // the dragged item of a tree (its ItemPath)

    friend bool operator==(const DragPayload&, const DragPayload&) = default;
};

[[nodiscard]] QByteArray EncodeDragPayload(const DragPayload& payload);
// Nothing when the bytes are not a payload.
[[nodiscard]] std::optional<DragPayload> DecodeDragPayload(const QByteArray& bytes);
// The payload of a drag's data, when it carries our MIME type.
[[nodiscard]] std::optional<DragPayload> DragPayloadOf(const QMimeData* data);
// New MIME data (owned by the caller, normally handed to QDrag) carrying the payload.
[[nodiscard]] QMimeData* MakeDragData(const DragPayload& payload);

// The registry of drag sources. Views register themselves when created; the
// number is never reused, and a deleted view answers null.
[[nodiscard]] quint64 RegisterDragSource(QWidget* view);
[[nodiscard]] QWidget* DragSourceOf(quint64 number);

// Copy with Ctrl held, move without.
[[nodiscard]] DropAction DropActionFor(Qt::KeyboardModifiers modifiers);
[[nodiscard]] Qt::DropAction ToQtAction(DropAction action);

struct DropDecision {
    DropAction action = DropAction::None;
    QWidget* source = nullptr;   // the living source view, when action is not None
};

// What a drop of `payload` onto a target of `kind` does: None when the payload
// is from another process, its source is gone, or a list's rows would land
// on that same list; otherwise copy with Ctrl and move without.
[[nodiscard]] DropDecision DecideDrop(const DragPayload& payload, DropTargetKind kind,
                                      Qt::KeyboardModifiers modifiers, const QWidget* target = nullptr);

// What the source's drop operation is told.
struct DropInfo {
    DropAction action = DropAction::Move;
    std::vector<int> rows;        // the dragged rows (list source)
    QString itemPath;             // the dragged item (tree source)
    QPointer<CZyfarView> targetList;  // the list dropped on, or null
    QPointer<CZyfarTree> targetTree;  // the tree dropped on, or null
    QString targetFolder;         // in a tree: ItemPath of the item under the cursor
};

// Files dragged in from outside (the desktop's file manager, another Zyfar):
// a drag with local file URLs and without a payload of this process. Copy
// with Ctrl, or when the source offers no move; move otherwise. None when the
// drag holds no local file.
[[nodiscard]] DropAction DesktopDropAction(const QDropEvent* event);
// The local paths of a drag's file URLs, in order.
[[nodiscard]] QStringList LocalPathsOf(const QMimeData* data);
// Adds file URLs for local paths to a drag's data (for dropping on the desktop).
void AddFileUrls(const QStringList& paths, QMimeData* data);

// Carries out a decided drop: calls the source's DropOperation. False when
// the source is not a view of ours (or is gone).
bool DeliverDrop(const DropDecision& decision, const DragPayload& payload, DropInfo info);

}  // namespace zyfar
