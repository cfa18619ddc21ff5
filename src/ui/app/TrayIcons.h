#pragma once
#include <QIcon>

namespace zyfar {

// The three tray icons: 342 idle, 339 connecting or receiving, 344 sending.
// Drawn at run time so they stay sharp at any tray size.
QIcon TrayIcon(int state);

// The application icon (the idle tray icon).
QIcon AppIcon();

}  // namespace zyfar
