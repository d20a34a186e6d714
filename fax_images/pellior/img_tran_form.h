// The controls the page image classes work through: the imaging control,
// the fax-modem control (bitmap and G3 conversions only), and the fax
// printer with its page export. Each control is made the first time it is
// touched, so a class that only makes JPEG copies never loads the fax
// engine.
#pragma once

#include "fax_send/ostrand/ostrand.h"
#include "platform/imaging/imaging_control.h"
#include "platform/layout/fax_printer.h"

#include <memory>
#include <string>
#include <vector>

namespace fg {

class frmImgTranCtl {
public:
    image::ImagingControl& KRAYTON1() { return imaging_; }
    Ostrand& Ostrand1();
    layout::FaxPrinter& MfRemote1() { return printer_; }
    // The export of a printed file into page bitmaps (layout/page_export.h);
    // answers the page names written and raises fg::Error on failure.
    std::vector<std::string> MfExp1Export(const std::string& printedFile, const std::string& bitmapPath);

    // The fill colour of turned pages: white, as colour values are written
    // on forms (0x00BBGGRR).
    static constexpr std::uint32_t kWhite = 0xFFFFFF;

private:
    image::ImagingControl imaging_;
    std::unique_ptr<Ostrand> ostrand_;
    layout::FaxPrinter printer_;
};

}  // namespace fg
