#include "annotation/matrix.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace fg::annotation {

Matrix Matrix::rotation(double radians) {
    const double c = std::cos(radians), s = std::sin(radians);
    return {{c, -s, s, c, 0, 0}};
}

int annRound(double v) {
    constexpr double kLimit = 1073741824.0;  // 2^30
    if (std::isnan(v)) return 0;
    v = std::clamp(v + 0.5, -kLimit, kLimit);
    return static_cast<int>(v);
}

void annComposeMatrix(Matrix* out, const Matrix* a, const Matrix* b) {
    if (!a && !b) {
        *out = Matrix{};
        return;
    }
    if (!a || !b) {
        *out = a ? *a : *b;
        return;
    }
    const double* p = a->m;
    const double* q = b->m;
    *out = Matrix{{q[0] * p[0] + q[1] * p[2], q[0] * p[1] + q[1] * p[3], q[2] * p[0] + q[3] * p[2],
                   q[2] * p[1] + q[3] * p[3], q[0] * p[4] + q[1] * p[5] + q[4], q[2] * p[4] + q[3] * p[5] + q[5]}};
}

Matrix annCompose(const Matrix& a, const Matrix& b) {
    Matrix out;
    annComposeMatrix(&out, &a, &b);
    return out;
}

bool annIsIdentity(const Matrix* m) {
    if (!m) return true;
    const double* v = m->m;
    return v[0] == 1 && v[1] == 0 && v[2] == 0 && v[3] == 1 && v[4] == 0 && v[5] == 0;
}

bool annInvertMatrix(const Matrix& m, Matrix* out) {
    const double* v = m.m;
    const double det = v[0] * v[3] - v[1] * v[2];
    if (det == 0 || !std::isfinite(det)) {
        *out = Matrix{};
        return false;
    }
    const double a = v[3] / det, b = -v[1] / det, c = -v[2] / det, d = v[0] / det;
    *out = Matrix{{a, b, c, d, -(a * v[4] + b * v[5]), -(c * v[4] + d * v[5])}};
    return true;
}

double annLengthScale(const Matrix* m) {
    if (annIsIdentity(m)) return 1.0;
    // A mirroring scale has a negative product; its lengths scale all the same.
    return std::sqrt(std::fabs(m->m[0] * m->m[3]));
}

void annTransformPoints(const Matrix* m, POINTD* points, std::size_t count) {
    if (annIsIdentity(m)) return;
    for (std::size_t i = 0; i < count; ++i) points[i] = m->apply(points[i]);
}

void annMapPoints(const Matrix* m, const POINTD* points, desktop::Point* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const POINTD p = m ? m->apply(points[i]) : points[i];
        out[i] = {annRound(p.x), annRound(p.y)};
    }
}

std::array<POINTD, 4> annBoxCorners(const POINTD corners[3]) {
    return {corners[0], corners[1], corners[2],
            POINTD{corners[0].x - corners[1].x + corners[2].x, corners[0].y - corners[1].y + corners[2].y}};
}

desktop::Rect annBoundsOfPels(const desktop::Point* points, std::size_t count) {
    if (count == 0) return {};
    desktop::Rect r{points[0].x, points[0].y, points[0].x, points[0].y};
    for (std::size_t i = 1; i < count; ++i)
        r = {std::min(r.left, points[i].x), std::min(r.top, points[i].y), std::max(r.right, points[i].x),
             std::max(r.bottom, points[i].y)};
    return {r.left, r.top, r.right + 1, r.bottom + 1};
}

bool annBoxRect(const Matrix* m, const POINTD corners[3], desktop::Rect* out) {
    const std::array<POINTD, 4> box = annBoxCorners(corners);
    desktop::Point p[4];
    annMapPoints(m, box.data(), p, 4);
    const bool aligned = (p[0].x == p[1].x && p[1].y == p[2].y && p[2].x == p[3].x && p[3].y == p[0].y) ||
                         (p[0].y == p[1].y && p[1].x == p[2].x && p[2].y == p[3].y && p[3].x == p[0].x);
    if (aligned) *out = annBoundsOfPels(p, 4);
    return aligned;
}

void annBoundsOfPoints(const Matrix* m, const POINTD* points, std::size_t count, desktop::Rect* out) {
    if (count < 2) {
        *out = {};
        return;
    }
    std::vector<desktop::Point> pels(count);
    annMapPoints(m, points, pels.data(), count);
    *out = annBoundsOfPels(pels.data(), count);
}

}  // namespace fg::annotation
