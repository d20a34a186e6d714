#include "platform/fax_engine/modem_ports.h"

#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/settings_values.h"
#include "platform/values.h"
#include "platform/xml.h"

namespace fg::fax {

ModemPorts ModemPorts::load() noexcept {
    ModemPorts result;
    try {
        auto found = fs::resolve(fs::programFolder() + kFileName);
        if (!found) return result;
        result.fromFile = true;
        result.readable = false;
        xml::Document doc;
        if (!doc.load(*found) || doc.documentElement().isNull() || doc.documentElement().nodeName() != "FaxPorts")
            throw Error(errnum::PathFileAccessError, *found + " を読めません (ルート要素は FaxPorts です)。", kSource);
        xml::Node root = doc.documentElement();
        std::string folder = settings_values::childText(root, "LockFolder");
        if (!folder.empty()) result.lockFolder = fs::withSlash(folder);
        result.ringTimeout =
            settings_values::milliseconds(root, "RingTimeout", result.ringTimeout, *found, kSource);
        for (xml::Node port : doc.selectNodes("/FaxPorts/Port")) {
            std::string number = settings_values::childText(port, "Number");
            std::string device = settings_values::childText(port, "Device");
            std::string speed = settings_values::childText(port, "Speed");
            auto digits = [](const std::string& s) {
                return !s.empty() && s.size() < 8 && s.find_first_not_of("0123456789") == std::string::npos;
            };
            if (!digits(number) || toInt32(number) < 1 || toInt32(number) > 32767 || device.empty() ||
                (!speed.empty() && !digits(speed)))
                throw Error(errnum::TypeMismatch,
                            *found + ": Port の Number, Device, Speed が正しくありません (" + number + ", " + device +
                                ", " + speed + ")。",
                            kSource);
            Port p;
            p.device = device;
            if (!speed.empty()) p.speed = toInt32(speed);
            result.ports[toInt32(number)] = p;
        }
        result.readable = true;
    } catch (...) {
        logCurrentError(kSource);
        result.ports.clear();
    }
    return result;
}

std::optional<ModemPorts::Port> ModemPorts::port(int number) const {
    if (!readable || number < 1) return std::nullopt;
    if (!fromFile) return Port{"/dev/ttyS" + std::to_string(number - 1), 19200};
    auto it = ports.find(number);
    if (it == ports.end()) return std::nullopt;
    return it->second;
}

}  // namespace fg::fax
