#pragma once

#include <QString>

class QImage;
class QQuickWindow;

// What a picture of the window carries besides its pixels, written into it as text
// (which PNG keeps), so that pictures of one screen drawn by two renderers can be
// compared (by the test suite's picture comparisons).
namespace picture {

// Notes into image, taken from the window as it is now:
// "popups": the face of each open popup, menu and drop-down list, "x,y,w,h,#colour;"
//           each, with the colour the face is meant to show;
// "masks":  what changes with time, "x,y,w,h;" each: the header clock, the scan
//           animations, the busy indicator, the running time on the Region page.
void note(QImage& image, QQuickWindow* window);

// What drew the window: "opengl" or "software" (or the number of another graphics API).
QString renderer(QQuickWindow* window);

}  // namespace picture
