// Reference copies of sent pages and the conversion of received pages.
#include "fax_images/pellior/fax_receive_image.h"
#include "fax_images/pellior/fax_receive_ref_img.h"
#include "fax_images/pellior/fax_tran_refer_img.h"

#include "page_fixture.h"
#include "platform/fax_engine/fax_page.h"
#include "platform/image/bmp.h"
#include "platform/imaging/jpeg.h"

#include <gtest/gtest.h>

namespace fg {
namespace {

using Names = std::vector<std::string>;

class ReferenceImages : public testing::PageImagesTest {};

// A page with a black mark in its top-left corner.
image::Image markedPage(int w, int h) {
    image::Image page(w, h, image::PixelFormat::Gray8);
    for (int y = 0; y < h / 8; ++y)
        for (int x = 0; x < w / 8; ++x) page.row(y)[x] = 0;
    return page;
}

TEST_F(ReferenceImages, ACopyIsWrittenCheckedAndNeverFakedByAnOlderOne) {
    image::writeBmp(bitmaps + "S_001.bmp", markedPage(400, 300), 8);
    FAXTranReferImg refer;
    ASSERT_TRUE(refer.saveImage("S_001")) << loggedText();
    image::Image copy = image::readJpeg(jpgs + "S_001.jpg");
    EXPECT_EQ(copy.format(), image::PixelFormat::Rgb24);  // 24 bits, as the copies are kept
    EXPECT_EQ(copy.width(), 400);
    EXPECT_LT(copy.row(5)[5 * 3], 40);
    EXPECT_TRUE(fs::fileExists(bitmaps + "S_001.bmp"));  // the page itself goes on to be faxed

    // The bitmap is gone: the old copy of the same name does not make it a success.
    (void)fs::removeFile(bitmaps + "S_001.bmp");
    EXPECT_FALSE(refer.saveImage("S_001"));
    EXPECT_TRUE(logged(errnum::FileNotFound, "FAXTranReferImg")) << loggedText();
    fs::writeFileAtomic(bitmaps + "S_002.bmp", "not a picture");
    EXPECT_FALSE(refer.saveImage("S_002"));
    EXPECT_TRUE(logged(481, "FAXTranReferImg"));
    EXPECT_FALSE(fs::fileExists(jpgs + "S_002.jpg"));

    image::writeBmp(bitmaps + "S_003.bmp", markedPage(8, 8), 8);
    EXPECT_TRUE(refer.deleteImage("S_003"));
    EXPECT_FALSE(refer.deleteImage("S_003"));
    EXPECT_FALSE(refer.deleteImage("../S_003"));
}

TEST_F(ReferenceImages, AReceivedG3PageBecomesABitmapOnItsSide) {
    // A received fine page, 1728 x 2291, marked top left.
    image::writeBmp(bitmaps + "in.bmp", markedPage(1728, 2291), 1);
    fax::bmpFileToG3(bitmaps + "in.bmp", g3s + "R_001.g3", 0);
    FaxReceiveImage receive;
    ASSERT_TRUE(receive.changeBMPFile("R_001")) << loggedText();
    image::Image page = image::readBmp(bitmaps + "R_001.bmp");
    EXPECT_EQ(page.width(), 1728);
    EXPECT_EQ(page.height(), 1303);
    // Turned counter-clockwise: the top-left mark is now bottom left.
    EXPECT_LT(page.row(1290)[10], 128);
    EXPECT_GT(page.row(10)[10], 128);
    EXPECT_TRUE(fs::fileExists(g3s + "R_001.g3"));
}

TEST_F(ReferenceImages, AG3PageThatCannotBeReadIsLoggedWithTheControlsStatus) {
    fs::writeFileAtomic(g3s + "BAD.g3", std::string(64, '\0'));
    FaxReceiveImage receive;
    EXPECT_FALSE(receive.changeBMPFile("BAD"));
    EXPECT_FALSE(receive.changeBMPFile("MISSING"));
    Names sources;
    std::vector<long> numbers;
    for (const ErrorLogEntry& e : log.log->entries()) {
        sources.push_back(e.source);
        numbers.push_back(e.number);
    }
    EXPECT_EQ(sources, (Names{"FaxReceiveImage", "FaxReceiveImage"}));
    EXPECT_EQ(numbers, (std::vector<long>{6, 5}));  // the engine's "bad image" and "no file"
    EXPECT_TRUE(files(bitmaps).empty());
}

TEST_F(ReferenceImages, AReceivedCopyIsCheckedThenMovedAndNeverOverwritesOne) {
    image::writeBmp(bitmaps + "R_002.bmp", markedPage(1728, 1303), 8);
    FaxReceiveRefImg ref;
    ASSERT_TRUE(ref.changeJPGFile("R_002")) << loggedText();
    EXPECT_TRUE(fs::fileExists(jpgs + "R_002.jpg"));
    EXPECT_FALSE(fs::fileExists(bitmaps + "R_002.jpg"));
    EXPECT_TRUE(fs::fileExists(bitmaps + "R_002.bmp"));  // the received bitmap stays
    EXPECT_EQ(image::readJpeg(jpgs + "R_002.jpg").width(), 1728);

    // A copy of that name is already kept: it stays as it was, the new copy
    // stays beside the bitmap, and the move is reported.
    const std::string kept = fs::readFile(jpgs + "R_002.jpg");
    image::writeBmp(bitmaps + "R_002.bmp", markedPage(100, 100), 8);
    EXPECT_FALSE(ref.changeJPGFile("R_002"));
    EXPECT_TRUE(logged(errnum::FileAlreadyExists, "FaxReceiveRefImg")) << loggedText();
    EXPECT_EQ(fs::readFile(jpgs + "R_002.jpg"), kept);
    EXPECT_EQ(image::readJpeg(bitmaps + "R_002.jpg").width(), 100);

    EXPECT_FALSE(ref.changeJPGFile("NONE"));
    EXPECT_TRUE(logged(errnum::FileNotFound, "FaxReceiveRefImg"));
}

}  // namespace
}  // namespace fg
