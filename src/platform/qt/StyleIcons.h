#pragma once

#include <QIcon>
#include <QStyle>

class QWidget;

// The style's own picture of a standard icon at its small size, for a tool button.
// QStyle::standardIcon first looks the icon up by name in the desktop's icon theme and then
// decodes the style's images at every size; a window that sets a dozen of them at start pays
// more for that than for everything else it builds. This asks the style for one image alone.
QIcon StylePicture(const QWidget* widget, QStyle::StandardPixmap which);
