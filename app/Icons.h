#pragma once
// The program's pictures, drawn here: the two tray icons (normal, attention).
#include <QIcon>

namespace app {

QIcon trayIcon(int index);  // 0 = normal, 1 = attention (network not ready, or no device)

}  // namespace app
