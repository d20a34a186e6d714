#include "fax_images/pellior/print_start_file.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process/event_pump.h"
#include "platform/xml.h"

namespace fg {

std::string PrintStartFile::path() { return fs::join(fs::programFolder(), kFileName); }

FileLock PrintStartFile::acquire(EventPump* pump) {
    if (pump) pump->pumpOnce();
    for (;;) {
        FileLock lock = FileLock::tryLock(path());
        if (lock.held()) return lock;
        if (pump) pump->runFor(kPause);
        else clock().sleepFor(kPause);
    }
}

void PrintStartFile::write() {
    xml::Document doc;
    doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"shift-jis\""));
    xml::Node root = doc.appendChild(doc.createElement("MyTalk"));
    root.appendChild(doc.createElement("My")).setText("Start");
    doc.save(path());
}

void PrintStartFile::remove() noexcept {
    try {
        if (auto found = fs::resolve(path())) fs::removeFile(*found);
    } catch (...) {
        // Nothing to do: a start file that stays is harmless, as the lock decides.
    }
}

}  // namespace fg
