#pragma once

#include <QColor>
#include <QList>
#include <QRect>
#include <QRegion>
#include <QString>

class QImage;
class QQuickWindow;

// Pictures of the window that can be compared between renderers: what a picture
// carries besides its pixels (written into it as text, which PNG keeps), and the
// measures that compare two pictures of one screen.
namespace picture {

// Notes into image, taken from the window as it is now:
// "popups": the face of each open popup, menu and drop-down list, "x,y,w,h,#colour;"
//           each, with the colour the face is meant to show;
// "masks":  what changes with time, "x,y,w,h;" each: the header clock, the scan
//           animations, the busy indicator, the running time on the Region page.
void note(QImage& image, QQuickWindow* window);

// What drew the window: "opengl" or "software" (or the number of another graphics API).
QString renderer(QQuickWindow* window);

// The popup faces noted in a picture.
struct Face {
    QRect place;
    QColor colour;
};
QList<Face> faces(const QImage& image);

// The share (0 to 1) of the face's pixels inside its edge that show its own colour.
double ownColour(const QImage& image, const Face& face);

// Pixels where two pictures of one screen differ by more than tolerance in a colour
// channel, counted only where the whole square of span x span pixels from them differs
// (so that edges drawn a pixel apart or in other shades do not count), outside both
// pictures' masks. where, when given, receives the 16 x 16 cells that hold them.
int differing(const QImage& a, const QImage& b, int tolerance, int span, QRegion* where = nullptr);

}  // namespace picture
