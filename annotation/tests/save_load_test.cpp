// Saving and loading: the text as written byte for byte, the six-bit code,
// every kind through a save and a load (memory, files, offsets), the
// metafile as a player reads it, and every failure with its result.
#include "annotation/stream.h"
#include "annotation/text_lines.h"
#include "engine_fixture.h"
#include "platform/desktop/kernel_files.h"
#include "platform/desktop/metafile.h"
#include "platform/files.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "saved_trees.h"

#include <cstring>
#include <string>
#include <vector>

namespace fg::annotation {
namespace {

using desktop::FileAccess;

// The block of an empty, visible container over (0, 0) - (100, 50).
const std::string kContainerBlock =
    lines({"BEGINOBJECT", "0", "VISIBLE", "1", "TAG", "0", "SCALARX", "1", "SCALARY", "1", "OFFSETX", "0", "OFFSETY",
           "0", "FORECOLOR", "0", "BACKCOLOR", "16777215", "LINEWIDTH", "1", "LINESTYLE", "5", "FILLPATTERN", "0",
           "FILLMODE", "0", "POINTS", "3", "0", "0", "0", "50", "100", "50", "ENDOBJECT"});

std::string noteBlock(const char* selectedText) {
    return lines({"BEGINOBJECT", "9", "VISIBLE", "1", "TAG", "0", "SCALARX", "1", "SCALARY", "1", "OFFSETX", "0",
                  "OFFSETY", "0", "FORECOLOR", "0", "BACKCOLOR", "65535", "FONTBOLD", "0", "FONTITALIC", "0",
                  "FONTSTRIKETHROUGH", "0", "FONTUNDERLINE", "1", "FONTSIZE", "13.3333333", "FONTNAME", "5",
                  "07)I86P", "TEXT", "3", selectedText, "POINTS", "3", "10", "5", "10", "20.5", "60", "20.5",
                  "ENDOBJECT"});
}

std::string rectangleBlock(const char* tag) {
    return lines({"BEGINOBJECT", "12", "VISIBLE", "1", "TAG", tag, "SCALARX", "1", "SCALARY", "1", "OFFSETX", "0",
                  "OFFSETY", "0", "FORECOLOR", "0", "BACKCOLOR", "16777215", "LINEWIDTH", "1", "LINESTYLE", "0",
                  "FILLPATTERN", "0", "FILLMODE", "0", "POINTS", "3", "1", "2", "1", "4", "3", "4", "ENDOBJECT"});
}

class SaveLoad : public EngineTest {
protected:
    ANNHANDLE emptyRoot() { return container(0, {0, 0, 100, 50}); }
    static ANNHANDLE rectangle(ANNHANDLE in, uint32_t tag) {
        const ANNHANDLE h = box(in, ANN_RECTANGLE, {1, 2, 3, 4});
        K_AnnSetTag(h, tag, 0);
        return h;
    }
    // Loads a text through the memory export; the tree (0 when none) is
    // destroyed by the test.
    static int load(const std::string& text, ANNHANDLE* tree) {
        return K_AnnLoadMemory(text.data(), static_cast<uint32_t>(text.size()), tree);
    }
    static std::string roundTrip(ANNHANDLE root) {
        const std::string text = savedBytes(root);
        ANNHANDLE loaded = 0;
        EXPECT_EQ(load(text, &loaded), ANN_SUCCESS);
        if (!loaded) return {};
        std::string d = describe(record(loaded));
        EXPECT_EQ(savedBytes(loaded), text) << "the loaded tree saves as the same text";
        K_AnnDestroy(loaded, 0);
        return d;
    }
};

TEST_F(SaveLoad, WritesTheTextByteForByte) {
    const ANNHANDLE root = emptyRoot();
    EXPECT_EQ(savedBytes(root), lines({"KTANNBEGIN"}) + kContainerBlock + lines({"KTANNEND"}));

    // Nothing selected: only the first and the last line.
    EXPECT_EQ(savedBytes(root, ANN_FORMAT_ANNOTATION, true), lines({"KTANNBEGIN", "KTANNEND"}));

    // A leaf saved by itself goes inside its container's block.
    const ANNHANDLE note = box(root, ANN_NOTE, {10, 5, 60, 20.5});
    K_AnnSetText(note, "abc", 0);
    K_AnnSetFontUnderline(note, 1, 0);
    const std::string inBlock =
        lines({"KTANNBEGIN"}) + kContainerBlock + lines({"BLOCKBEGIN"}) + noteBlock("86)C") + lines({"BLOCKEND", "KTANNEND"});
    EXPECT_EQ(savedBytes(note), inBlock);
    EXPECT_EQ(savedBytes(root), inBlock);
    K_AnnDestroy(root, 0);

    // A leaf without a container is written alone.
    const ANNHANDLE alone = box(0, ANN_RECTANGLE, {1, 2, 3, 4});
    EXPECT_EQ(savedBytes(alone), lines({"KTANNBEGIN"}) + rectangleBlock("0") + lines({"KTANNEND"}));
    K_AnnDestroy(alone, 0);
}

// Selected only: each written container holds the chosen objects below it;
// a container with nothing chosen below it does not appear; a selected
// container brings everything below it.
TEST_F(SaveLoad, WritesTheSelectedObjectsWithTheContainersAboveThem) {
    const ANNHANDLE root = emptyRoot();
    rectangle(root, 1);
    const ANNHANDLE group = container(0, {0, 0, 100, 50});
    EXPECT_EQ(K_AnnInsert(root, group, 0), ANN_SUCCESS);
    const ANNHANDLE inner = container(0, {0, 0, 100, 50});
    EXPECT_EQ(K_AnnInsert(group, inner, 0), ANN_SUCCESS);
    const ANNHANDLE picked = rectangle(inner, 2);
    rectangle(inner, 3);
    const ANNHANDLE quiet = container(0, {0, 0, 100, 50});
    EXPECT_EQ(K_AnnInsert(group, quiet, 0), ANN_SUCCESS);
    rectangle(quiet, 4);
    const ANNHANDLE whole = container(0, {0, 0, 100, 50});
    EXPECT_EQ(K_AnnInsert(root, whole, 0), ANN_SUCCESS);
    rectangle(whole, 5);
    rectangle(whole, 6);
    K_AnnSetSelected(picked, 1, 0);
    K_AnnSetSelected(whole, 1, 0);
    for (ANNHANDLE h : {root, group, inner, quiet, whole}) K_AnnSetLineStyle(h, ANN_LINE_NONE, 0);

    const std::string block = kContainerBlock;
    EXPECT_EQ(savedBytes(root, ANN_FORMAT_ANNOTATION, true),
              lines({"KTANNBEGIN"}) + block + lines({"BLOCKBEGIN"}) +            // the root
                  block + lines({"BLOCKBEGIN"}) + block + lines({"BLOCKBEGIN"}) +  // group, inner
                  rectangleBlock("2") + lines({"BLOCKEND", "BLOCKEND"}) +          // quiet is left out
                  block + lines({"BLOCKBEGIN"}) + rectangleBlock("5") + rectangleBlock("6") +
                  lines({"BLOCKEND", "BLOCKEND", "KTANNEND"}));
    // Saved from the group: the group is the outermost container written.
    EXPECT_EQ(savedBytes(group, ANN_FORMAT_ANNOTATION, true),
              lines({"KTANNBEGIN"}) + block + lines({"BLOCKBEGIN"}) + block + lines({"BLOCKBEGIN"}) +
                  rectangleBlock("2") + lines({"BLOCKEND", "BLOCKEND", "KTANNEND"}));
    // Every written object carries the mark; the others do not.
    EXPECT_EQ(record(quiet).WriteMark, 0);
    EXPECT_EQ(record(picked).WriteMark, 1);
    EXPECT_EQ(record(root).WriteMark, 0) << "not written by the save from the group";
    K_AnnDestroy(root, 0);
}

TEST_F(SaveLoad, EncodesBytesAsSixBitLines) {
    std::string fortyFive, fortySix;
    for (int i = 0; i < 46; ++i) (i < 45 ? fortyFive : fortySix) += static_cast<char>(i);
    fortySix = fortyFive + fortySix;
    const std::string line60 = R"x(  $" P0%!@<("0H+# T.#Q 1$A,4%187&!D:&QP='A\@(2(C)"4F)R@I*BLL)x";
    const struct {
        std::string bytes, text;
    } cases[] = {
        {"abc", lines({"86)C"})},
        {"a", lines({"80"})},
        {"ab", lines({"86("})},
        {"\xFF\xFF\xFF", lines({"____"})},
        {"納期", lines({"Y[2-YIR?"})},
        {fortyFive, lines({line60})},                // exactly one full line
        {fortySix, lines({line60, "+0"})},          // a full line and the rest
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        MemoryStream sink;
        ASSERT_EQ(annEncodeText(sink, reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()), ANN_SUCCESS);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(sink.data()), sink.size()), c.text);

        MemoryStream source(c.text.data(), static_cast<uint32_t>(c.text.size()));
        LineReader reader(source);
        std::string back(c.bytes.size(), '\0');
        EXPECT_EQ(annDecodeText(reader, reinterpret_cast<std::uint8_t*>(back.data()), back.size()), ANN_SUCCESS);
        EXPECT_EQ(back, c.bytes);
    }
}

TEST_F(SaveLoad, WritesNumbersAsTheCLibraryDoesInItsOwnLocale) {
    const struct {
        double value;
        const char* text;
    } reals[] = {{1, "1"}, {0.5, "0.5"}, {4.0 / 3, "1.33333333"}, {1e-10, "1E-10"}, {-0.0, "-0"},
                 {123456789012.0, "1.23456789E+11"}, {-2.25, "-2.25"}, {100000000, "100000000"}};
    for (const auto& r : reals) EXPECT_EQ(annFormatReal(r.value), r.text);
    EXPECT_EQ(annFormatUnsigned(4294967295u), "4294967295");
}

TEST_F(SaveLoad, EveryKindComesBackAsSaved) {
    const ANNHANDLE root = everyKindTree();
    const std::string before = describe(record(root));
    EXPECT_EQ(roundTrip(root), before);
    // The stamps' palettes went out padded to their full size.
    ANNHANDLE loaded = 0;
    ASSERT_EQ(load(savedBytes(root), &loaded), ANN_SUCCESS);
    std::vector<int> paletteSizes;
    for (AnnObject* o = &record(loaded); o; o = annNextBelow(o, &record(loaded)))
        if (o->Bitmap.holdsBitmap()) paletteSizes.push_back(o->Bitmap.colorCount());
    EXPECT_EQ(paletteSizes, (std::vector<int>{2, 16, 256, 256, 0, 0, 0}));
    // A loaded tree is new: no window, design mode, nothing selected, in
    // no tree, with nothing after it.
    const AnnObject& top = record(loaded);
    EXPECT_EQ(top.Container, nullptr);
    EXPECT_EQ(top.NextSibling, nullptr);
    EXPECT_EQ(top.Wnd, 0u);
    K_AnnDestroy(loaded, 0);
    K_AnnDestroy(root, 0);
}

TEST_F(SaveLoad, PointListsFollowTheirKind) {
    const ANNHANDLE root = emptyRoot();
    // A polyline of one point keeps no point block and loads without points.
    const ANNHANDLE single = points(root, ANN_POLYLINE, {{5, 5}});
    const std::string text = savedBytes(single);
    EXPECT_EQ(text.find("POINTS"), text.rfind("POINTS")) << "only the container's";
    ANNHANDLE loaded = 0;
    ASSERT_EQ(load(text, &loaded), ANN_SUCCESS);
    EXPECT_EQ(record(loaded).FirstChild->PointCount, 0u);
    K_AnnDestroy(loaded, 0);

    // An automation object has no point block; as the first outermost
    // object it does not load.
    const ANNHANDLE automation = create(ANN_AUTOMATION);
    const std::string autoText = savedBytes(automation);
    EXPECT_EQ(autoText.find("POINTS"), std::string::npos);
    EXPECT_NE(autoText.find("POLYFILLMODE"), std::string::npos);
    EXPECT_EQ(load(autoText, &loaded), ANN_ERROR_FILE_READ);
    EXPECT_EQ(loaded, 0u);
    K_AnnDestroy(automation, 0);

    // Points read for a kind that keeps corners set them, and stay attached.
    ASSERT_EQ(load(lines({"KTANNBEGIN", "BEGINOBJECT", "0", "POINTS", "3", "1", "2", "1", "9", "8", "9", "ENDOBJECT",
                          "BLOCKBEGIN", "BEGINOBJECT", "1", "POINTS", "2", "0", "0", "5", "5", "ENDOBJECT", "BLOCKEND",
                          "KTANNEND"}),
                   &loaded),
              ANN_SUCCESS);
    const AnnObject& c = record(loaded);
    EXPECT_EQ(c.Corners[1].y, 9);
    EXPECT_EQ(c.PointCount, 3u);
    EXPECT_EQ(c.FirstChild->ArrowPoints[1].x, 5);
    EXPECT_EQ(c.Rect.right, 8) << "bounds were updated";
    K_AnnDestroy(loaded, 0);
    K_AnnDestroy(root, 0);
}

TEST_F(SaveLoad, ReadsAnyLineEndAndStopsAtTheEnd) {
    const struct {
        std::string text;
        uint32_t tag;
    } cases[] = {
        {"KTANNBEGIN\nBEGINOBJECT\n0\nTAG\n5\nENDOBJECT\nKTANNEND", 5},
        {"KTANNBEGIN\rBEGINOBJECT\r0\rTAG\r 5\rENDOBJECT\rKTANNEND\r", 5},         // a space before digits
        {"KTANNBEGIN\r\n\r\n\n\x01\x1F\xFF\x80" "BEGINOBJECT\n0\nTAG\n+7\nENDOBJECT\nKTANNEND", 7},
        {"KTANNBEGIN\nBEGINOBJECT\n0\nTAG\n4294967296\nENDOBJECT\nKTANNEND", 0xFFFFFFFFu},  // beyond 32 bits
        {"KTANNBEGIN\nBEGINOBJECT\n0\nTAG\n-1\nENDOBJECT\nKTANNEND", 0xFFFFFFFFu},
        {"KTANNBEGIN\nBEGINOBJECT\n0\nTAG\n9\nTAG\n10\nENDOBJECT\nKTANNEND\r\nanything after the end", 10},
        // A tab ends the token; the rest is the next line.
        {"KTANNBEGIN\nBEGINOBJECT\n0\nTAG\n3\tTAG\n11\nENDOBJECT\nKTANNEND", 11},
        {lines({"KTANNBEGIN", "KTANNEND"}), 0},  // a new empty container
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ANNHANDLE loaded = 0;
        ASSERT_EQ(load(c.text, &loaded), ANN_SUCCESS);
        const AnnObject& o = record(loaded);
        EXPECT_EQ(o.Tag, c.tag);
        EXPECT_EQ(o.Type, ANN_CONTAINER);
        EXPECT_EQ(o.LineStyle, ANN_LINE_NONE) << "the kind's defaults";
        K_AnnDestroy(loaded, 0);
    }
}

// Objects after the first outermost one belong to no one: they are freed
// (the fixture checks that nothing is left).
TEST_F(SaveLoad, FreesExtraOutermostObjects) {
    const std::size_t before = annLiveObjectCount();
    ANNHANDLE loaded = 0;
    ASSERT_EQ(load(lines({"KTANNBEGIN", "BEGINOBJECT", "0", "TAG", "1", "ENDOBJECT", "BEGINOBJECT", "12", "ENDOBJECT",
                          "BEGINOBJECT", "0", "ENDOBJECT", "BLOCKBEGIN", "BEGINOBJECT", "9", "TEXT", "1", "80",
                          "ENDOBJECT", "BLOCKEND", "KTANNEND"}),
                   &loaded),
              ANN_SUCCESS);
    EXPECT_EQ(record(loaded).Tag, 1u);
    EXPECT_EQ(record(loaded).NextSibling, nullptr);
    EXPECT_EQ(annLiveObjectCount(), before + 1);
    K_AnnDestroy(loaded, 0);
}

TEST_F(SaveLoad, RefusesMalformedTextsWithTheReadFailure) {
    const std::string begin = "KTANNBEGIN\r\n", end = "KTANNEND\r\n", object0 = lines({"BEGINOBJECT", "0"});
    auto withValue = [&](std::initializer_list<std::string_view> body) {
        return begin + object0 + lines(body) + lines({"ENDOBJECT"}) + end;
    };
    std::string deep = begin, deeper;
    for (std::size_t i = 0; i < kMaxLoadDepth; ++i) deep += lines({"BEGINOBJECT", "0", "ENDOBJECT", "BLOCKBEGIN"});
    deeper = deep + lines({"BEGINOBJECT", "0", "ENDOBJECT", "BLOCKBEGIN"});
    auto closed = [&](const std::string& open, std::size_t levels) {
        std::string t = open + lines({"BEGINOBJECT", "12", "ENDOBJECT"});
        for (std::size_t i = 0; i < levels; ++i) t += lines({"BLOCKEND"});
        return t + end;
    };
    const struct {
        const char* why;
        std::string text;
        int result;
    } cases[] = {
        {"nothing", "", ANN_ERROR_FILE_READ},
        {"no end", begin, ANN_ERROR_FILE_READ},
        {"first line in lower case", "ktannbegin\r\nKTANNEND\r\n", ANN_ERROR_FILE_READ},
        {"first object no container", begin + lines({"BEGINOBJECT", "12", "ENDOBJECT"}) + end, ANN_ERROR_FILE_READ},
        {"block after a leaf",
         begin + object0 + lines({"ENDOBJECT", "BLOCKBEGIN", "BEGINOBJECT", "12", "ENDOBJECT", "BLOCKBEGIN", "BEGINOBJECT",
                                  "12", "ENDOBJECT", "BLOCKEND", "BLOCKEND"}) + end,
         ANN_ERROR_FILE_READ},
        {"block before any object", begin + lines({"BLOCKBEGIN"}) + end, ANN_ERROR_FILE_READ},
        {"empty block", begin + object0 + lines({"ENDOBJECT", "BLOCKBEGIN", "BLOCKEND"}) + end, ANN_ERROR_FILE_READ},
        {"block end outermost", begin + object0 + lines({"ENDOBJECT", "BLOCKEND"}) + end, ANN_ERROR_FILE_READ},
        {"end inside a block", begin + object0 + lines({"ENDOBJECT", "BLOCKBEGIN", "BEGINOBJECT", "12", "ENDOBJECT"}) + end,
         ANN_ERROR_FILE_READ},
        {"second block of one container",
         begin + object0 + lines({"ENDOBJECT", "BLOCKBEGIN", "BEGINOBJECT", "12", "ENDOBJECT", "BLOCKEND", "BLOCKBEGIN",
                                  "BEGINOBJECT", "12", "ENDOBJECT", "BLOCKEND"}) + end,
         ANN_ERROR_FILE_READ},
        {"nested too deep", closed(deeper, kMaxLoadDepth + 1), ANN_ERROR_FILE_READ},
        {"unknown keyword", withValue({"COLOR", "5"}), ANN_ERROR_FILE_READ},
        {"unknown line between objects", begin + lines({"OBJECT"}) + end, ANN_ERROR_FILE_READ},
        {"object without its end", begin + object0 + end, ANN_ERROR_FILE_READ},
        {"unknown kind", begin + lines({"BEGINOBJECT", "17", "ENDOBJECT"}) + end, ANN_ERROR_FILE_READ},
        {"kind beyond 32 bits", begin + lines({"BEGINOBJECT", "4294967296", "ENDOBJECT"}) + end, ANN_ERROR_FILE_READ},
        {"trailing space", withValue({"TAG", "5 "}), ANN_ERROR_FILE_READ},
        {"hexadecimal integer", withValue({"TAG", "0x10"}), ANN_ERROR_FILE_READ},
        {"sign alone", withValue({"TAG", "-"}), ANN_ERROR_FILE_READ},
        {"hexadecimal real", withValue({"SCALARX", "0x1p3"}), ANN_ERROR_FILE_READ},
        {"infinity", withValue({"SCALARX", "INF"}), ANN_ERROR_FILE_READ},
        {"not a number", withValue({"OFFSETY", "NAN"}), ANN_ERROR_FILE_READ},
        {"overflowing real", withValue({"LINEWIDTH", "1E999"}), ANN_ERROR_FILE_READ},
        {"exponent without digits", withValue({"FONTSIZE", "1E"}), ANN_ERROR_FILE_READ},
        {"point only", withValue({"OFFSETX", "."}), ANN_ERROR_FILE_READ},
        {"length without room for its end", withValue({"TEXT", "4294967295", "86)C"}), ANN_ERROR_FILE_READ},
        {"length beyond the data", withValue({"FONTNAME", "100000", "86)C"}), ANN_ERROR_FILE_READ},
        {"text ends inside a string", begin + object0 + lines({"TEXT", "9", "86)C"}), ANN_ERROR_FILE_READ},
        {"count overflowing 32 bits", withValue({"POINTS", "268435456", "1", "1"}), ANN_ERROR_FILE_READ},
        {"count beyond the data", withValue({"POINTS", "1000", "1", "1"}), ANN_ERROR_FILE_READ},
        {"point that is no number", withValue({"POINTS", "1", "1", "y"}), ANN_ERROR_FILE_READ},
        {"bitmap depth of 3", withValue({"BITMAP", "3", "1", "1", "0", "0", "    "}), ANN_ERROR_FILE_READ},
        {"bitmap without width", withValue({"BITMAP", "24", "0", "1", "0", "0"}), ANN_ERROR_FILE_READ},
        {"bitmap too wide", withValue({"BITMAP", "24", "40000", "1", "0", "0"}), ANN_ERROR_FILE_READ},
        {"bitmap beyond the data", withValue({"BITMAP", "24", "30000", "30000", "0", "0", "    "}), ANN_ERROR_FILE_READ},
        {"bitmap rows missing", begin + object0 + lines({"BITMAP", "24", "1", "2", "0", "0", "    "}) + end,
         ANN_ERROR_FILE_READ},
        {"zero byte", std::string("KTANNBEGIN\r\n\0KTANNEND\r\n", 22), ANN_ERROR_FILE_READ},
        {"zero byte inside a string", withValue({"TEXT", "3", std::string_view("86\0C", 4)}), ANN_ERROR_FILE_READ},
        {"at the limit of nesting", closed(deep, kMaxLoadDepth), ANN_SUCCESS},
    };
    const std::size_t alive = annLiveObjectCount();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        ANNHANDLE loaded = 99;
        EXPECT_EQ(load(c.text, &loaded), c.result);
        if (c.result == ANN_SUCCESS) {
            EXPECT_NE(loaded, 0u);
            K_AnnDestroy(loaded, 0);
        } else {
            EXPECT_EQ(loaded, 0u);
            EXPECT_EQ(annLiveObjectCount(), alive) << "a failed load frees what it made";
        }
    }
}

TEST_F(SaveLoad, SavesAndLoadsFilesAndOffsets) {
    testing::TempDir dir;
    const ANNHANDLE root = everyKindTree();
    const std::string before = describe(record(root));
    const std::string text = savedBytes(root);

    const std::string path = dir / "Page1.ann";
    fs::writeFileAtomic(path, std::string(100000, 'x'));  // emptied by the save
    ASSERT_EQ(K_AnnSave(path.c_str(), root, ANN_FORMAT_ANNOTATION, 0), ANN_SUCCESS);
    EXPECT_EQ(fs::readFile(path), text);
    ANNHANDLE loaded = 0;
    ASSERT_EQ(K_AnnLoad((dir / "PAGE1.ANN").c_str(), &loaded), ANN_SUCCESS) << "names are read without regard to case";
    EXPECT_EQ(describe(record(loaded)), before);
    K_AnnDestroy(loaded, 0);

    // Into an open file after a header of the caller's, then bytes of its own.
    const std::string bundle = dir / "bundle.bin";
    const desktop::FileHandle file = desktop::fileOpen(bundle, FileAccess::CreateEmpty);
    ASSERT_GE(file, 0);
    ASSERT_EQ(desktop::fileWrite(file, "HEADER", 6), 6);
    uint32_t written = 0;
    ASSERT_EQ(K_AnnSaveOffset(file, 6, &written, root, ANN_FORMAT_ANNOTATION, 0), ANN_SUCCESS);
    EXPECT_EQ(written, text.size());
    ASSERT_EQ(desktop::fileWrite(file, "TRAILER", 7), 7);
    ASSERT_EQ(K_AnnLoadOffset(file, 6, &loaded), ANN_SUCCESS);
    EXPECT_EQ(desktop::fileSeek(file, 0, 1), 6 + std::int64_t(text.size())) << "the position is right after the text";
    EXPECT_EQ(describe(record(loaded)), before);
    K_AnnDestroy(loaded, 0);
    desktop::fileClose(file);
    EXPECT_EQ(fs::readFile(bundle), "HEADER" + text + "TRAILER");
    K_AnnDestroy(root, 0);
}

TEST_F(SaveLoad, AnswersEveryFailureOfFilesAndArguments) {
    testing::TempDir dir;
    const ANNHANDLE root = emptyRoot();
    const std::string kept = dir / "kept.ann";
    fs::writeFileAtomic(kept, "earlier annotations");
    const desktop::FileHandle readOnly = desktop::fileOpen(kept, FileAccess::Read);
    const desktop::FileHandle full = desktop::fileOpen("/dev/full", FileAccess::CreateEmpty);
    ASSERT_GE(readOnly, 0);
    ASSERT_GE(full, 0);
    uint32_t written = 77;
    ANNHANDLE loaded = 77;
    ANNMEMORY block = 77;
    uint32_t size = 77;
    const std::string text = lines({"KTANNBEGIN", "KTANNEND"});
    ANNHANDLE vast = 0;  // a picture beyond the metafile's 16-bit coordinates
    const RECTD far{-2e9, -2e9, 2e9, 2e9};
    ASSERT_EQ(K_AnnCreateContainer(0, &far, 1, &vast), ANN_SUCCESS);
    const struct {
        const char* why;
        std::function<int32_t()> call;
        int32_t result;
    } cases[] = {
        {"save without a name", [&] { return K_AnnSave(nullptr, root, 0, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"save without an object", [&] { return K_AnnSave(kept.c_str(), 0, 0, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"save in no format", [&] { return K_AnnSave(kept.c_str(), root, 2, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"save into no folder", [&] { return K_AnnSave((dir / "no/such.ann").c_str(), root, 0, 0); },
         ANN_ERROR_FILE_OPEN},
        {"save onto a full device", [&] { return K_AnnSave("/dev/full", root, 0, 0); }, ANN_ERROR_FILE_WRITE},
        {"metafile onto a full device", [&] { return K_AnnSave("/dev/full", root, 1, 0); }, ANN_ERROR_FILE_WRITE},
        {"metafile beyond 16 bits", [&] { return K_AnnSave(kept.c_str(), vast, 1, 0); }, ANN_ERROR_INVALID_PARAMETER},
        {"metafile in memory beyond 16 bits", [&] { return K_AnnSaveMemory(vast, 1, 0, &block, &size); },
         ANN_ERROR_INVALID_PARAMETER},
        {"offset without an object", [&] { return K_AnnSaveOffset(full, 0, &written, 0, 0, 0); },
         ANN_ERROR_INVALID_PARAMETER},
        {"offset in no format", [&] { return K_AnnSaveOffset(full, 0, &written, root, 7, 0); },
         ANN_ERROR_INVALID_PARAMETER},
        {"offset into no file", [&] { return K_AnnSaveOffset(-1, 0, &written, root, 0, 0); }, ANN_ERROR_FILE_SEEK},
        {"negative offset", [&] { return K_AnnSaveOffset(full, -1, &written, root, 0, 0); }, ANN_ERROR_FILE_SEEK},
        {"offset into a read-only file", [&] { return K_AnnSaveOffset(readOnly, 0, &written, root, 0, 0); },
         ANN_ERROR_FILE_WRITE},
        {"memory without an object", [&] { return K_AnnSaveMemory(0, 0, 0, &block, &size); },
         ANN_ERROR_INVALID_PARAMETER},
        {"memory without an out", [&] { return K_AnnSaveMemory(root, 0, 0, nullptr, &size); },
         ANN_ERROR_INVALID_PARAMETER},
        {"memory in no format", [&] { return K_AnnSaveMemory(root, 2, 0, &block, &size); },
         ANN_ERROR_INVALID_PARAMETER},
        {"load without a name", [&] { return K_AnnLoad(nullptr, &loaded); }, ANN_ERROR_INVALID_PARAMETER},
        {"load without an out", [&] { return K_AnnLoad(kept.c_str(), nullptr); }, ANN_ERROR_INVALID_PARAMETER},
        {"load of no file", [&] { return K_AnnLoad((dir / "missing.ann").c_str(), &loaded); }, ANN_ERROR_FILE_OPEN},
        {"load of a folder", [&] { return K_AnnLoad(dir.path().c_str(), &loaded); }, ANN_ERROR_FILE_READ},
        {"load of another text", [&] { return K_AnnLoad(kept.c_str(), &loaded); }, ANN_ERROR_FILE_READ},
        {"offset load of no file", [&] { return K_AnnLoadOffset(-1, 0, &loaded); }, ANN_ERROR_FILE_SEEK},
        {"negative offset load", [&] { return K_AnnLoadOffset(readOnly, -1, &loaded); }, ANN_ERROR_FILE_SEEK},
        {"offset load without an out", [&] { return K_AnnLoadOffset(readOnly, 0, nullptr); },
         ANN_ERROR_INVALID_PARAMETER},
        {"memory load without text", [&] { return K_AnnLoadMemory(nullptr, 4, &loaded); },
         ANN_ERROR_INVALID_PARAMETER},
        {"memory load without an out", [&] { return K_AnnLoadMemory(text.data(), 4, nullptr); },
         ANN_ERROR_INVALID_PARAMETER},
        {"memory load of a cut text", [&] { return K_AnnLoadMemory(text.data(), 14, &loaded); }, ANN_ERROR_FILE_READ},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(c.call(), c.result);
        EXPECT_TRUE(loaded == 77 || loaded == 0) << "no tree from a failed load";
    }
    EXPECT_EQ(fs::readFile(kept), "earlier annotations") << "a refused save never empties the file";
    EXPECT_EQ(block, 0u);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(written, 77u);
    desktop::fileClose(readOnly);
    desktop::fileClose(full);
    K_AnnDestroy(root, 0);
    K_AnnDestroy(vast, 0);
}

TEST_F(SaveLoad, RunningOutOfMemoryLosesNothing) {
    const ANNHANDLE root = everyKindTree();
    const std::string text = savedBytes(root);
    // A sink that cannot grow is a short write; no block is left.
    desktop::setGlobalMemoryLimit(1000);
    ANNMEMORY block = 5;
    uint32_t size = 5;
    EXPECT_EQ(K_AnnSaveMemory(root, ANN_FORMAT_ANNOTATION, 0, &block, &size), ANN_ERROR_FILE_WRITE);
    EXPECT_EQ(block, 0u);
    EXPECT_EQ(size, 0u);
    // No record for the objects read.
    desktop::setGlobalMemoryLimit(sizeof(AnnObject) - 1);
    ANNHANDLE loaded = 5;
    EXPECT_EQ(K_AnnLoadMemory(text.data(), static_cast<uint32_t>(text.size()), &loaded), ANN_ERROR_NO_MEMORY);
    EXPECT_EQ(loaded, 0u);
    desktop::setGlobalMemoryLimit(SIZE_MAX);

    // No row buffer for a wide stamp.
    testing::TempDir dir;
    const ANNHANDLE wide = box(root, ANN_STAMP, {0, 0, 10, 10});
    const desktop::Bitmap b = sampleBitmap(24, 3000, 1, 0);
    K_AnnSetBitmap(wide, &b, 0);
    desktop::setGlobalMemoryLimit(8000);
    EXPECT_EQ(K_AnnSave((dir / "wide.ann").c_str(), wide, ANN_FORMAT_ANNOTATION, 0), ANN_ERROR_NO_MEMORY);
    desktop::setGlobalMemoryLimit(SIZE_MAX);
    K_AnnDestroy(root, 0);
}

TEST_F(SaveLoad, MemoryStreamsGrowByStepsAndNeverBeyond32Bits) {
    MemoryStream sink;
    std::vector<char> bytes(40000, 'a');
    EXPECT_EQ(sink.write(bytes.data(), 40000), 40000);
    EXPECT_EQ(sink.capacity(), 65536u);
    EXPECT_EQ(sink.seek(-10, kSeekEnd), 39990);
    EXPECT_EQ(sink.write(nullptr, 1), -1);
    // Growing to 4 GiB or beyond is refused: only what fits is stored, and
    // a position past the capacity takes nothing.
    EXPECT_EQ(sink.seek(65530, kSeekStart), 65530);
    EXPECT_EQ(sink.write(bytes.data(), 0xFFFFFFF0u), 6);
    EXPECT_EQ(sink.capacity(), 65536u);
    EXPECT_EQ(sink.size(), 65536u);
    EXPECT_EQ(sink.seek(0xFFFFFFFFLL, kSeekStart), 0xFFFFFFFFLL);
    EXPECT_EQ(sink.write(bytes.data(), 1), -1);
    EXPECT_EQ(sink.seek(1, kSeekCurrent), -1);
    EXPECT_EQ(sink.seek(-1, kSeekStart), -1);
    EXPECT_EQ(sink.seek(0, 3), -1);
    // Handed over shrunk to its size.
    const desktop::MemoryHandle block = sink.release();
    EXPECT_EQ(desktop::globalSize(block), 65536u);
    desktop::globalFree(block);
    EXPECT_EQ(sink.release(), 0u);

    MemoryStream source("abcdef", 6);
    char out[8] = {};
    EXPECT_EQ(source.read(out, 4), 4);
    EXPECT_EQ(source.read(out, 4), 2);
    EXPECT_EQ(source.read(out, 4), 0);
    EXPECT_EQ(source.read(nullptr, 1), -1);
    EXPECT_EQ(source.seek(10, kSeekStart), 10);
    EXPECT_EQ(source.read(out, 1), -1);
    EXPECT_EQ(source.write("x", 1), -1) << "the caller's bytes are never written";
    EXPECT_EQ(annStreamRemaining(source), 0);
    source.seek(1, kSeekStart);
    EXPECT_EQ(annStreamRemaining(source), 5);
}

TEST_F(SaveLoad, AMemoryStreamReportsItsStepsWhateverBlockHoldsIt) {
    std::string bytes(40000, 'a');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
    MemoryStream sink;
    // Step after step, as a long save grows it.
    for (std::uint64_t written = 0; written < 1000000; written += 40000) {
        ASSERT_EQ(sink.write(bytes.data(), 40000), 40000);
        EXPECT_EQ(sink.capacity(), (written + 40000 + 32767) / 32768 * 32768) << written;
    }
    // Room for the next step but not for twice the block: it grows by the
    // step. Then for none at all: only what fits is stored.
    desktop::setGlobalMemoryLimit(1081344);
    EXPECT_EQ(sink.write(bytes.data(), 40000), 40000);
    EXPECT_EQ(sink.write(bytes.data(), 40000), 40000);
    EXPECT_EQ(sink.capacity(), 1081344u);
    EXPECT_EQ(sink.write(bytes.data(), 40000), 1344);
    desktop::setGlobalMemoryLimit(SIZE_MAX);
    EXPECT_EQ(sink.capacity(), 1081344u);
    const desktop::MemoryHandle block = sink.release();
    ASSERT_EQ(desktop::globalSize(block), 1081344u);
    const auto* held = static_cast<const char*>(desktop::globalLock(block));
    EXPECT_EQ(std::string_view(held + 1080000, 1344), std::string_view(bytes).substr(0, 1344));
    EXPECT_EQ(std::string_view(held + 40000, 40000), bytes);
    (void)desktop::globalUnlock(block);
    desktop::globalFree(block);
}

// The metafile: the header that places it on the root's bounds, the
// standard header, the window set-up and the first object's records, and a
// player that draws it.
TEST_F(SaveLoad, WritesAMetafileThatAPlayerReads) {
    const ANNHANDLE root = container(0, {10, 20, 110, 70});
    const ANNHANDLE rect = box(root, ANN_RECTANGLE, {5, 5, 45, 25});
    K_AnnSetForeColor(rect, 0x0000FF, 0);
    const ANNHANDLE ellipse = box(root, ANN_ELLIPSE, {50, 5, 90, 45});
    K_AnnSetFillMode(ellipse, ANN_FILLMODE_OPAQUE, 0);
    K_AnnSetBackColor(ellipse, 0x00FF00, 0);
    const ANNHANDLE note = box(root, ANN_NOTE, {0, 30, 40, 48});
    K_AnnSetText(note, "note", 0);
    const std::string bytes = savedBytes(root, ANN_FORMAT_METAFILE);
    ASSERT_GE(bytes.size(), 22u + 18u);
    // The root's bounds (9, 19) - (112, 72): its box and a pel of pen.
    EXPECT_EQ(bytes.substr(0, 22), desktop::placeableHeader({9, 19, 112, 72}, 96));
    EXPECT_EQ(bytes.substr(0, 22), std::string("\xD7\xCD\xC6\x9A\x00\x00\x09\x00\x13\x00\x70\x00\x48\x00\x60\x00"
                                               "\x00\x00\x00\x00\x53\x57",
                                               22));
    const desktop::Metafile picture(bytes.substr(22));
    const std::vector<desktop::MetafileRecord> records = desktop::metafileRecords(picture);
    ASSERT_GE(records.size(), 6u);
    namespace meta = desktop::meta;
    const std::vector<desktop::MetafileRecord> first(records.begin(), records.begin() + 6);
    EXPECT_EQ(first, (std::vector<desktop::MetafileRecord>{
                         {meta::SETMAPMODE, {1}},
                         {meta::SETWINDOWORG, {19, 9}},
                         {meta::SETWINDOWEXT, {53, 103}},
                         {meta::SAVEDC, {}},
                         {meta::INTERSECTCLIPRECT, {72, 112, 19, 9}},  // the root's bounds
                         {meta::CREATEPENINDIRECT, {5, 0, 0, 0, 0}},     // no line, black
                     }));
    // The standard header: a memory metafile of version 3 with its size in
    // words.
    EXPECT_EQ(bytes.substr(22, 6), std::string("\x01\x00\x09\x00\x00\x03", 6));
    const std::uint32_t words = std::uint8_t(bytes[28]) | std::uint8_t(bytes[29]) << 8 | std::uint8_t(bytes[30]) << 16;
    EXPECT_EQ(words * 2, bytes.size() - 22);

    testing::TempDir dir;
    ASSERT_EQ(K_AnnSave((dir / "page.wmf").c_str(), root, ANN_FORMAT_METAFILE, 0), ANN_SUCCESS);
    EXPECT_EQ(fs::readFile(dir / "page.wmf"), bytes);
    const testing::ProgramRun run = testing::runProgram({"wmf2svg", "-o", dir / "page.svg", dir / "page.wmf"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const std::string svg = fs::readFile(dir / "page.svg");
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("ellipse"), std::string::npos);
    EXPECT_NE(svg.find("note"), std::string::npos);

    // Selected only: the unselected objects make no drawing records.
    K_AnnSetSelected(ellipse, 1, 0);
    const std::vector<desktop::MetafileRecord> selected =
        desktop::metafileRecords(desktop::Metafile(savedBytes(root, ANN_FORMAT_METAFILE, true).substr(22)));
    int ellipses = 0, rectangles = 0;
    for (const auto& r : selected) ellipses += r.function == meta::ELLIPSE, rectangles += r.function == meta::RECTANGLE;
    EXPECT_EQ(ellipses, 1);
    EXPECT_EQ(rectangles, 0);
    K_AnnDestroy(root, 0);
}

}  // namespace
}  // namespace fg::annotation
