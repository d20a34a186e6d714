// A bilevel page that looks like print, for the tests and benchmarks of the
// page coding: lines of "glyphs" of random widths, with long white stretches
// between them, and rules across the page. The same seed gives the same page.
#pragma once

#include "platform/fax_engine/g3_codec.h"

#include <random>

namespace fg::testing {

inline fax::BilevelImage printLikePage(int width, int height, unsigned seed) {
    fax::BilevelImage page(width, height);
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y) {
        if (y % 40 == 5) {
            for (int x = 10; x < width - 10; ++x) page.setBlack(x, y);
            continue;
        }
        if (y % 40 > 25) continue;
        int x = static_cast<int>(rng() % 60);
        while (x < width) {
            int run = 1 + static_cast<int>(rng() % 12);
            for (int i = 0; i < run && x + i < width; ++i) page.setBlack(x + i, y);
            // One draw a statement: the order of two draws in one expression
            // is the compiler's choice, and the page would differ from build
            // to build.
            const bool wide = rng() % 8 == 0;
            x += run + 1 + static_cast<int>(rng() % (wide ? 300 : 9));
        }
    }
    return page;
}

}  // namespace fg::testing
