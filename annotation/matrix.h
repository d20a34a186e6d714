// Object matrices and the point operations that painting, the bounds update,
// the geometry edits and the interactive definition share. A matrix maps
// object coordinates to window pixels:
//   x' = m[0] x + m[1] y + m[4],  y' = m[2] x + m[3] y + m[5].
// A missing matrix (null) is the identity everywhere.
#pragma once

#include "annotation/zentrel.h"
#include "platform/desktop/drawing.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace fg::annotation {

struct Matrix {
    double m[6] = {1, 0, 0, 1, 0, 0};

    static Matrix translation(double dx, double dy) { return {{1, 0, 0, 1, dx, dy}}; }
    static Matrix scaling(double sx, double sy) { return {{sx, 0, 0, sy, 0, 0}}; }
    // Positive angles turn clockwise on a window, whose y grows downwards.
    static Matrix rotation(double radians);
    POINTD apply(POINTD p) const { return {m[0] * p.x + m[1] * p.y + m[4], m[2] * p.x + m[3] * p.y + m[5]}; }
};

// A coordinate as a window pel: add 0.5 and truncate towards zero. Values
// that are not finite or lie beyond 2^30 either way are clamped first, so
// that no conversion overflows and sums of pels stay in range.
int annRound(double v);

// Whether values are finite numbers, as every coordinate must be so that a
// saved tree loads back.
inline bool annFinite(double v) { return std::isfinite(v); }
inline bool annFinite(const POINTD& p) { return annFinite(p.x) && annFinite(p.y); }
inline bool annFinite(const RECTD& r) {
    return annFinite(r.left) && annFinite(r.top) && annFinite(r.right) && annFinite(r.bottom);
}
// The coordinates the engine keeps: finite, and small enough that the sums
// and midpoints of the bounds update stay finite.
inline constexpr double kAnnMaxCoordinate = 1e300;
inline bool annInRange(const POINTD& p) {
    return annFinite(p) && std::fabs(p.x) <= kAnnMaxCoordinate && std::fabs(p.y) <= kAnnMaxCoordinate;
}

// `out` applies `a` and then `b`.
void annComposeMatrix(Matrix* out, const Matrix* a, const Matrix* b);
Matrix annCompose(const Matrix& a, const Matrix& b);
// True for a missing matrix and for the exact identity (a negative zero
// counts as zero).
bool annIsIdentity(const Matrix* m);
// The inverse; a matrix without one (its determinant is 0 or not finite)
// gives the identity and false.
bool annInvertMatrix(const Matrix& m, Matrix* out);
// How lengths (pen widths, font sizes) scale: the square root of
// |m[0] m[3]|, and exactly 1 for the identity.
double annLengthScale(const Matrix* m);

// Maps points in place; nothing happens for the identity.
void annTransformPoints(const Matrix* m, POINTD* points, std::size_t count);
// Maps and rounds.
void annMapPoints(const Matrix* m, const POINTD* points, desktop::Point* out, std::size_t count);
// The four corners of a box kept as P0 (top-left), P1 (bottom-left) and
// P2 (bottom-right): those three and P0 - P1 + P2.
std::array<POINTD, 4> annBoxCorners(const POINTD corners[3]);
// The mapped box's integer rectangle, written only when the box stays
// axis-aligned (the answer): smallest x and y to largest x and y + 1.
bool annBoxRect(const Matrix* m, const POINTD corners[3], desktop::Rect* out);
// The smallest rectangle around pels, right and bottom one past the
// largest coordinate; (0, 0, 0, 0) for none.
desktop::Rect annBoundsOfPels(const desktop::Point* points, std::size_t count);
// The smallest rectangle around the mapped points, right and bottom one
// past the largest coordinate; (0, 0, 0, 0) for fewer than two points.
void annBoundsOfPoints(const Matrix* m, const POINTD* points, std::size_t count, desktop::Rect* out);

}  // namespace fg::annotation
