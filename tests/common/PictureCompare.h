#pragma once

#include <QColor>
#include <QList>
#include <QRect>
#include <QRegion>

#include "PictureNotes.h"

class QImage;

// The measures that compare two pictures of one screen, by the notes the program's
// screen recorder (and the tests' window helper) write into them (PictureNotes.h).
namespace picture {

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
