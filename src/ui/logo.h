#pragma once

class QIcon;
class QWidget;

namespace brevion {

// The program's logo as a picture control (Image1 of the windows), scaled to its geometry.
QWidget* CreateLogo(QWidget* parent);
// The program's icon for window title bars.
QIcon AppIcon();

} // namespace brevion
