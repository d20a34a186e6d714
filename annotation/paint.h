// Painting one object with its matrix, and the shape painters that the
// interactive definition (previews) and the tool bar (buttons) draw with.
// Every painter leaves the device context as it found it.
#pragma once

#include "annotation/object.h"
#include "platform/desktop/drawing.h"

#include <vector>

namespace fg::annotation {

// The drawing set-up of an object: the state saved (the answer is the
// level to restore), the clip intersected, the pen, brush, colours,
// background mode, raster operation and polygon fill mode its attributes
// give.
int annSelectDrawTools(desktop::DeviceContext& dc, const desktop::Rect& clip, const AnnObject& object,
                       const Matrix* matrix);

// One object, without its children and handles, mapped by `matrix` and
// clipped to `clip`.
void annPaintObject(desktop::DeviceContext& dc, const desktop::Rect& clip, AnnObject& object, const Matrix* matrix);

// An arrow's outline in window pels: head H, corner A, notch N, tail T, N
// again, corner C. The head's width and length (`headSize`) are pels, not
// scaled by the matrix.
void annArrowOutline(const Matrix* matrix, const POINTD& head, const POINTD& tail, const double headSize[2],
                     desktop::Point out[6]);
// The arrow of an object with the selected pen: a shaft and a filled head.
void annDrawArrow(desktop::DeviceContext& dc, const Matrix* matrix, const AnnObject& arrow);

// The polygon of an ellipse in a box that may be turned or sheared, and
// its painter. The number of points is bounded whatever the box's size.
std::vector<desktop::Point> annEllipsePoints(const Matrix* matrix, const POINTD corners[3]);
void annDrawEllipse(desktop::DeviceContext& dc, const Matrix* matrix, const POINTD corners[3]);

// A push button's face in the system colours, raised or pressed.
void annDrawButtonFace(desktop::DeviceContext& dc, const desktop::Rect& rect, bool pressed);

}  // namespace fg::annotation
