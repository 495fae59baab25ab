#pragma once
// The program's pictures, drawn here: the two tray icons (normal, attention).
#include <QIcon>
#include <QPixmap>

namespace app {

QIcon trayIcon(int index);

// The 20-pixel menu pictures: 0 connect, 1 disconnect, 4 request to use (others are blank).
QIcon menuPicture(int index);  // 0 = normal, 1 = attention (network not ready, or no device)

// The 48-pixel type pictures of the device rows: 0 MFP, 1 printer, 2 storage, 3 scanner, 4 other.
const QPixmap& devicePicture(int index);
// The overlays drawn over a picture: 0 held here, 1 held elsewhere, 2 available for use.
const QPixmap& deviceOverlay(int index);

}  // namespace app
