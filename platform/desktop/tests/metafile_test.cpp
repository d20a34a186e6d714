#include "platform/desktop/metafile.h"

#include "platform/files.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

namespace fg::desktop {
namespace {

std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

TEST(Metafile, RecordsAScriptAsTheExpectedBytes) {
    MetafileRecorder dc;
    dc.setMapMode(MM_TEXT);
    dc.setWindowOrg({10, 20});
    dc.setWindowExt({100, 50});
    dc.selectPen({PS_SOLID, 1, 0x0000FF});
    dc.rectangle({10, 20, 60, 45});
    const Metafile mf = dc.close();
    EXPECT_EQ(hex(mf.bits()),
              // header: memory metafile, 9 words, version 3, 45 words in all, one object, largest record 8 words
              "01 00 09 00 00 03 2D 00 00 00 01 00 08 00 00 00 00 00 "
              "04 00 00 00 03 01 01 00 "                          // mapping mode
              "05 00 00 00 0B 02 14 00 0A 00 "                    // window origin (y, x)
              "05 00 00 00 0C 02 32 00 64 00 "                    // window extent (y, x)
              "08 00 00 00 FA 02 00 00 01 00 00 00 FF 00 00 00 "  // pen: solid, 1 wide, red
              "04 00 00 00 2D 01 00 00 "                          // select object 0
              "07 00 00 00 1B 04 2D 00 3C 00 14 00 0A 00 "        // rectangle (bottom, right, top, left)
              "03 00 00 00 00 00");                               // end
    EXPECT_EQ(dc.deviceCaps(TECHNOLOGY), DT_METAFILE);
    EXPECT_TRUE(dc.close().empty());

    // Placed: the key, the bounds, the units and the checksum of the words
    // before it; a bound beyond 16 bits is held at the largest they hold.
    EXPECT_EQ(hex(placeableHeader({-1, 2, 300, 70000}, 96)),
              "D7 CD C6 9A 00 00 FF FF 02 00 2C 01 FF 7F 60 00 00 00 00 00 5F D6");
}

// Objects live while a current or saved state holds them: a player that
// restores a state finds its objects still there.
TEST(Metafile, DeletesAnObjectOnlyWhenNoStateHoldsIt) {
    MetafileRecorder dc;
    dc.selectPen({PS_SOLID, 0, 1});  // slot 0
    dc.save();
    dc.selectPen({PS_DASH, 0, 2});  // slot 1; slot 0 is still saved
    dc.selectBrush(Brush::hatched(HS_CROSS, 3));  // slot 2
    (void)dc.restore();
    dc.selectPen({PS_DOT, 0, 4});  // takes slot 1 again, then deletes slot 0
    std::vector<std::string> seen;
    for (const MetafileRecord& r : metafileRecords(dc.close())) {
        std::string line = metafileFunctionName(r.function);
        if (r.function == meta::SELECTOBJECT || r.function == meta::DELETEOBJECT || r.function == meta::RESTOREDC)
            line += " " + std::to_string(static_cast<std::int16_t>(r.params[0]));
        seen.push_back(line);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"CREATEPENINDIRECT", "SELECTOBJECT 0", "SAVEDC", "CREATEPENINDIRECT",
                                              "SELECTOBJECT 1", "CREATEBRUSHINDIRECT", "SELECTOBJECT 2", "RESTOREDC -1",
                                              "DELETEOBJECT 1", "DELETEOBJECT 2", "CREATEPENINDIRECT",
                                              "SELECTOBJECT 1", "DELETEOBJECT 0"}));
}

// Everything the painters record, read by an independent player.
TEST(Metafile, AnIndependentReaderDrawsEveryRecord) {
    MetafileRecorder dc;
    dc.setMapMode(MM_TEXT);
    dc.setWindowOrg({0, 0});
    dc.setWindowExt({200, 100});
    dc.save();
    dc.intersectClipRect({0, 0, 200, 100});
    dc.selectPen({PS_DASHDOT, 3, 0x00FF00});
    dc.selectBrush(Brush::hatched(HS_BDIAGONAL, 0xFF0000));
    dc.setBkMode(TRANSPARENT);
    dc.setRop2(R2_MASKPEN);
    dc.setPolyFillMode(WINDING);
    dc.rectangle({5, 5, 50, 40});
    dc.ellipse({60, 5, 120, 40});
    const Point pts[] = {{130, 5}, {190, 40}, {130, 40}};
    dc.polygon(pts);
    dc.polyline(pts);
    (void)dc.restore();
    image::Image checker(8, 8, image::PixelFormat::Indexed1, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) checker.setIndex(x, y, (x + y) & 1);
    dc.selectBrush(Brush::patterned(checker));
    dc.patBlt({5, 50, 40, 10}, kPatternAndDestination);
    image::Image icon(4, 4, image::PixelFormat::Indexed4, 3);
    icon.setPalette(image::Palette(16, image::Rgb{0, 0, 128}));
    dc.stretchBlt({50, 50, 32, 32}, icon, {0, 0, 4, 4}, SRCCOPY);
    Font font;
    font.height = -12;
    font.escapement = 900;
    font.faceName = "ＭＳ Ｐゴシック";
    dc.selectFont(font);
    dc.textOut({100, 90}, "納期");
    const Rect clip{100, 50, 190, 95};
    dc.drawText("AaBbYyZz AaBbYyZz", clip, DT_WORDBREAK | DT_NOPREFIX);
    const Metafile mf = dc.close();

    testing::TempDir dir;
    fs::writeFileAtomic(dir / "picture.wmf", placeableHeader({0, 0, 200, 100}, 96) + mf.bits());
    testing::ProgramRun run = testing::runProgram({"wmf2svg", "-o", dir / "picture.svg", dir / "picture.wmf"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const std::string svg = fs::readFile(dir / "picture.svg");
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("ellipse"), std::string::npos);
    EXPECT_NE(svg.find("polygon"), std::string::npos);
    EXPECT_NE(svg.find("<text"), std::string::npos);
}

}  // namespace
}  // namespace fg::desktop
