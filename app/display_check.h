#pragma once

namespace station {

// Whether the window system can be reached, checked before Qt is: Qt itself ends the process
// with a message meant for developers when it cannot open its platform. True when the platform
// was chosen explicitly (QT_QPA_PLATFORM), with a Wayland display, or when the X server of a
// local DISPLAY accepts a connection; a remote DISPLAY is left for Qt to try.
bool DisplayReachable();

}  // namespace station
