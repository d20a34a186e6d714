#include "fax_images/pellior/print_start_file.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/process/event_pump.h"
#include "platform/wait_bounds.h"
#include "platform/xml.h"

namespace fg {

std::string PrintStartFile::path() { return fs::join(fs::programFolder(), kFileName); }

FileLock PrintStartFile::acquire(EventPump* pump) {
    // A holder that hangs must not stop page making in every process for
    // good: the wait has a bound, and its end fails this print.
    const std::chrono::milliseconds bound = WaitBounds::load().printStart;
    const auto until = clock().elapsed() + bound;
    if (pump) (void)pump->pumpOnce();
    for (;;) {
        FileLock lock = FileLock::tryLock(path());
        if (lock.held()) return lock;
        if (clock().elapsed() >= until)
            throw Error(errnum::PermissionDenied, "他のプロセスの印刷が " + secondsText(bound) +
                                                      "を過ぎても終わりません。この印刷をやめます: " + path());
        if (pump) pump->runFor(kPause);
        else clock().sleepFor(kPause);
    }
}

void PrintStartFile::write() {
    xml::Document doc;
    doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"shift-jis\""));
    xml::Node root = doc.appendChild(doc.createElement("MyTalk"));
    root.appendChild(doc.createElement("My")).setText("Start");
    // A marker of a print under way, gone when the print ends: a crash
    // leaves nothing worth keeping in it, so it is not synced to disk.
    fs::writeFileAtomic(path(), doc.saveToString(), fs::Sync::Passing);
}

void PrintStartFile::remove() noexcept {
    try {
        if (auto found = fs::resolve(path())) (void)fs::removeFile(*found);
    } catch (...) {
        // Nothing to do: a start file that stays is harmless, as the lock decides.
    }
}

}  // namespace fg
