// The program's icon for its windows: the picture of resources/desktop/tavolin.svg, painted in
// code because Qt reads SVG only through a plug-in that is not always installed.
#pragma once

#include <QIcon>
#include <QImage>

namespace appicon {

// The icon at size x size pixels, on a transparent background.
QImage paint(int size);
// The icon in the sizes window managers and task bars ask for (16 to 256 pixels).
QIcon icon();
// Makes the icon the application's, which every window without one of its own shows.
// GUI thread, after the application object exists.
void install();

}  // namespace appicon
