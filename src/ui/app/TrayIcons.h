#pragma once
#include <QIcon>

namespace zyfar {

// The three tray icons: 342 idle, 339 connecting or receiving, 344 sending.
// Scalable pictures (":/icons/tray-*.svg"), so they stay sharp at whatever
// size the panel asks for and at any screen scale; drawn at run time when
// the Qt SVG plugins are missing.
QIcon TrayIcon(int state);

// The application icon: "zyfar" from the icon theme (installed in hicolor),
// else the bundled ":/icons/zyfar.svg" (or its PNGs from 16 to 256 pixels
// when SVG cannot be drawn).
QIcon AppIcon();

// True when the Qt SVG icon engine draws the bundled pictures.
[[nodiscard]] bool SvgIconsAvailable();

}  // namespace zyfar
