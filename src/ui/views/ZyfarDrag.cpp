#include "views/ZyfarDrag.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QHash>
#include <QIODevice>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "views/ZyfarTree.h"
#include "views/ZyfarView.h"

namespace zyfar {
namespace {

constexpr quint32 kPayloadMagic = 0x5A594452;  // "ZYDR"

struct Registry {
    quint64 next = 1;
    QHash<quint64, QPointer<QWidget>> views;
};

Registry& TheRegistry() {
    static Registry registry;  // GUI thread only
    return registry;
}

}  // namespace

QByteArray EncodeDragPayload(const DragPayload& payload) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << kPayloadMagic << payload.process << payload.source << static_cast<qint32>(payload.kind)
        << static_cast<qint32>(payload.rows.size());
    for (int row : payload.rows) out << static_cast<qint32>(row);
    out << payload.itemPath;
    return bytes;
}

std::optional<DragPayload> DecodeDragPayload(const QByteArray& bytes) {
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    DragPayload payload;
    qint32 kind = 0;
    qint32 count = 0;
    in >> magic >> payload.process >> payload.source >> kind >> count;
    if (in.status() != QDataStream::Ok || magic != kPayloadMagic || kind < 0 || kind > 1 || count < 0 ||
        count > (bytes.size() / 4))
        return std::nullopt;
    payload.kind = static_cast<DragSourceKind>(kind);
    payload.rows.reserve(static_cast<std::size_t>(count));
    for (qint32 i = 0; i < count; ++i) {
        qint32 row = -1;
        in >> row;
        payload.rows.push_back(row);
    }
    in >> payload.itemPath;
    if (in.status() != QDataStream::Ok) return std::nullopt;
    return payload;
}

std::optional<DragPayload> DragPayloadOf(const QMimeData* data) {
    if (data == nullptr || !data->hasFormat(QString::fromLatin1(kRowsMimeType))) return std::nullopt;
    return DecodeDragPayload(data->data(QString::fromLatin1(kRowsMimeType)));
}

QMimeData* MakeDragData(const DragPayload& payload) {
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kRowsMimeType), EncodeDragPayload(payload));
    return data;
}

quint64 RegisterDragSource(QWidget* view) {
    Registry& r = TheRegistry();
    // Forget the views that are gone, so the table stays as small as the screens.
    for (auto it = r.views.begin(); it != r.views.end();) it = it.value().isNull() ? r.views.erase(it) : ++it;
    const quint64 number = r.next++;
    r.views.insert(number, QPointer<QWidget>(view));
    return number;
}

QWidget* DragSourceOf(quint64 number) { return TheRegistry().views.value(number).data(); }

DropAction DropActionFor(Qt::KeyboardModifiers modifiers) {
    return modifiers.testFlag(Qt::ControlModifier) ? DropAction::Copy : DropAction::Move;
}

Qt::DropAction ToQtAction(DropAction action) {
    switch (action) {
    case DropAction::Copy: return Qt::CopyAction;
    case DropAction::Move: return Qt::MoveAction;
    case DropAction::None: break;
    }
    return Qt::IgnoreAction;
}

DropDecision DecideDrop(const DragPayload& payload, DropTargetKind kind, Qt::KeyboardModifiers modifiers,
                        const QWidget* target) {
    if (payload.process != QCoreApplication::applicationPid()) return {};
    QWidget* source = DragSourceOf(payload.source);
    if (source == nullptr) return {};
    if (payload.kind == DragSourceKind::List && payload.rows.empty()) return {};
    if (kind == DropTargetKind::List && target != nullptr && source == target) return {};
    return {DropActionFor(modifiers), source};
}

DropAction DesktopDropAction(const QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    if (data == nullptr || !data->hasUrls()) return DropAction::None;
    if (const auto payload = DragPayloadOf(data); payload && payload->process == QCoreApplication::applicationPid())
        return DropAction::None;  // our own drag: the payload decides
    if (LocalPathsOf(data).isEmpty()) return DropAction::None;
    if (!(event->possibleActions() & Qt::MoveAction)) return DropAction::Copy;
    return DropActionFor(event->modifiers());
}

QStringList LocalPathsOf(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) paths.append(url.toLocalFile());
    return paths;
}

void AddFileUrls(const QStringList& paths, QMimeData* data) {
    QList<QUrl> urls;
    urls.reserve(paths.size());
    for (const QString& path : paths) urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
}

bool DeliverDrop(const DropDecision& decision, const DragPayload& payload, DropInfo info) {
    if (decision.action == DropAction::None || decision.source == nullptr) return false;
    info.action = decision.action;
    info.rows = payload.rows;
    info.itemPath = payload.itemPath;
    if (auto* list = qobject_cast<CZyfarView*>(decision.source)) {
        list->DropOperation(info);
        return true;
    }
    if (auto* tree = qobject_cast<CZyfarTree*>(decision.source)) {
        tree->DropOperation(info);
        return true;
    }
    return false;
}

}  // namespace zyfar
