// A night of unattended traffic in ten minutes: the FAX server runs on a home
// of its own, with simulated fax lines and a scaled clock, against the local
// EDI server, whose answers this program writes a few requests ahead of the
// schedule: good documents mixed with bad ones (names without a ".", entries
// in folders of the archive, documents the archive lacks, suppliers that are
// not registered, documents cut in half or carrying an entity past the bound
// a load allows, lines naming a supplier not registered that their index
// names as a registered one), archives without an index, archives that are
// none at all, refusals and garbled answers, and reminder lists good and bad
// (a list beside good ones cut in half, or without its supplier codes). Now and then
// a fax-send server of the home is killed (SIGKILL) in the middle of its work,
// now and then one is stopped (SIGSTOP) and left hung for its client to find
// and end, now and then the home's disk fills to its last byte for a few
// seconds, and now and then the whole server (every process of the home,
// SIGKILL, as a power cut does it), which is then started again.
//
// The disk that fills is a tmpfs of its own for the home (which needs the
// right to mount; without it the run has no full disk and says so). The
// simulated fax lines and the error log live beside it, not on it: they
// stand for the telephone line and for what the accounting reads.
//
// Then no new document comes for a while (the drain), the server is stopped
// through its window's command line, and the program checks and prints:
// - the server ran throughout (the same supervisor, no error event);
// - every stopped fax-send server was ended by its client;
// - every document offered in a readable archive was faxed with its archive
//   confirmed, or logged by name (a bad document, a supplier not
//   registered, a send that failed "NG"); as the EDI server does, the good
//   documents of an archive left unconfirmed are offered again;
// - a broken reminder entry is left out alone: never faxed, its deletion
//   never asked, and named in the error log; the entries beside it are
//   faxed and their deletion asked;
// - an archive with a broken document is held back whole: never confirmed,
//   none of its documents faxed, the archive and the document named in the
//   error log; the other archives of the pass go on. The EDI server offers
//   it again until the log has named it, four times at the most (it would
//   go on offering it, holding back the later archives of its code, until
//   someone removed the cause; here the later archives come all the same);
// - the send log has a record of every management number, and no fax went
//   out twice (more faxes taken whole by the lines than numbers recorded
//   "OK", or a document recorded "OK" under two numbers);
// - the fax schedule fetched the codes in their order;
// - after the stop no process of the home runs, and no run marker (nor its
//   lock file), print start file or temporary file is left, nor any file in
//   the work folders, nor a fax document whose record was rolled back.
// Exit code 0 when every check holds, 1 otherwise. Not a test: it takes the
// time it says, and its figures are for the reader.
//
//   server_soak [--minutes M] [--drain SECONDS] [--scale S] [--kill-every SECONDS]
//               [--whole-kill-every SECONDS] [--hang-every SECONDS]
//               [--full-disk-every SECONDS] [--full-disk-for SECONDS] [--seed N] [--keep]
// Defaults: 10 minutes, 120 s of drain, a scale of 0.01 (a minute of the
// server's time in 0.6 s), a kill every 15 s on average, a kill of the
// whole server every 120 s on average, a hung fax-send server every 60 s
// on average and a full disk every 90 s on average for 4 s (0: none). --keep
// leaves the home, the answers and the recorded requests in place (they are
// kept anyway when a check fails).
#include "platform/archive/archive_file.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/testing/broken_documents.h"
#include "platform/testing/run_program.h"
#include "platform/testing/shape.h"
#include "platform/testing/small_file_system.h"
#include "platform/testing/temp_home.h"
#include "platform/testing/whole_home.h"
#include "platform/text.h"
#include "platform/xml.h"
#include "settings/set_up_info.h"
#include "standins/edi_server/local_edi_server.h"
#include "supervisor/supervisor_lock.h"

#include <signal.h>
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fg {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;
using testing::runProgram;

const char* const kCodes[4] = {"0301", "0500", "0701", "1101"};
const char* const kRegistered[3] = {"S0001", "S0002", "S0003"};
constexpr const char* kUnregistered = "S0999";
constexpr const char* kReminderCode = "9999";  // the tokens of reminder lists

struct Options {
    double minutes = 10;
    double drainSeconds = 120;
    double scale = 0.01;
    double killEvery = 15;
    double wholeKillEvery = 120;
    double hangEvery = 60;
    double fullDiskEvery = 90;
    double fullDiskFor = 4;
    unsigned seed = std::random_device{}();
    bool keep = false;
};

// What becomes of a document the server is offered.
enum class Fate { Good, NoDot, InFolder, Missing, Unregistered, Broken, UnregisteredLine };
const char* fateName(Fate f) {
    switch (f) {
    case Fate::Good: return "good";
    case Fate::NoDot: return "name without \".\"";
    case Fate::InFolder: return "entry in a folder";
    case Fate::Missing: return "missing from its archive";
    case Fate::Unregistered: return "supplier not registered";
    case Fate::Broken: return "broken (its archive or reminder entry held back)";
    case Fate::UnregisteredLine: return "a line of a supplier not registered (its archive held back)";
    }
    return "?";
}

struct Doc {
    std::string code;  // information code, or kReminderCode
    std::string serial;
    std::string supplier;
    Fate fate = Fate::Good;

    std::string token() const { return "SK" + code + "-" + serial; }
    std::string file() const {
        return code == kReminderCode ? "Reminder_" + serial + ".xml" : "DORE" + code + "_" + serial + ".xml";
    }
    // The entry name the archive and its index give it.
    std::string entry() const {
        if (fate == Fate::NoDot) return file().substr(0, file().size() - 4);
        if (fate == Fate::InFolder) return "sub/" + file();
        return file();
    }
};

// A document as the server met it last: in a readable archive.
struct Offer {
    Doc doc;
    std::string archive;  // the archive's name up to its "." (its ConfirmID)
};

std::string readOr(const std::string& path, const std::string& fallback = {}) {
    try {
        return fs::readFile(path);
    } catch (...) {
        return fallback;
    }
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// The answers of the local EDI server, written a few requests ahead of the
// schedule: step k of a servlet is what its k-th request gets.
class EdiScript {
public:
    EdiScript(std::string answers, std::mt19937& random) : answers_(std::move(answers)), random_(random) {
        const std::string demo = testing::sourceDir() + "demo/edi_server/";
        struct Template {
            const char* file;
            std::vector<std::string> numbers;
        } templates[4] = {
            {"GetEdiData/1/D0301_20240110083000.tgz/DORE0301_0001.xml", {"RFQ-240101"}},
            {"GetEdiData/2/D0500_20240111090000.tgz/DORE0500_0001.xml", {"PO-240011"}},
            {"GetEdiData/3/D0701_20240112100000.tgz/DORE0701_0001.xml", {"PO-240011"}},
            {"GetEdiData/4/D1101_20240105080000.tgz/DORE1101_0001.xml", {"PO-231201", "PO-231202", "PO-231130"}},
        };
        for (int k = 0; k < 4; ++k) {
            templates_[k] = fs::readFile(demo + templates[k].file);
            numbers_[k] = templates[k].numbers;
        }
        reminderTemplate_ = fs::readFile(demo + "GetFaxReminder/1/R0001_20240115070000.tgz/Reminder_0001.xml");
        // The supplier refresh keeps the demo's three suppliers.
        for (const char* servlet : {"GetSupplierCode", "GetFaxMaker"})
            std::filesystem::copy(demo + servlet, answers_ + servlet, std::filesystem::copy_options::recursive);
        fs::makeFolders(answers_ + "GetEdiData");
        fs::makeFolders(answers_ + "GetFaxReminder");
    }

    // Writes each code's steps until three more than the fetches of that
    // code seen so far; with `fresh` false only documents waiting to be
    // offered again are written. The EDI server answers each code from its
    // own steps, so a pass that ends early (and a restarted server, which
    // begins with the first code again) meets the answers of the code it
    // asks for.
    void topUp(const std::vector<std::string>& fetchCodes, std::size_t reminderFetches, bool fresh) {
        for (int k = 0; k < 4; ++k) {
            const auto fetched = static_cast<std::size_t>(std::count(fetchCodes.begin(), fetchCodes.end(), kCodes[k]));
            while (writtenOf_[k] < fetched + 3) writeFetch(k, ++writtenOf_[k], fresh);
        }
        while (remindersWritten_ < reminderFetches + 3) writeReminder(++remindersWritten_, fresh);
    }

    bool waiting() const {
        for (const auto& p : pending_)
            if (!p.empty()) return true;
        return !pendingReminders_.empty();
    }

    // As the EDI server does, offers again the documents of an archive that
    // was not confirmed two passes after it was fetched (a batch that
    // failed skips the confirmation, a killed one never read it): every
    // document of a data archive, and the files of a reminder list not
    // confirmed, bad ones included, as a server killed before it logged
    // them must meet them again.
    // A held archive is offered again until the error log has named it (a
    // pass that fails first, on a full disk, never meets its refusal), four
    // times at the most.
    void offerUnconfirmedAgain(const std::vector<std::string>& fetchCodes, std::size_t reminderFetches,
                               const std::set<std::string>& confirmed, const std::set<std::string>& remindersConfirmed,
                               const std::set<std::string>& heldNamed) {
        // The fetch (counted over every code) that took each code's steps.
        std::vector<std::size_t> fetchedAt[4];
        for (std::size_t i = 0; i < fetchCodes.size(); ++i)
            for (int k = 0; k < 4; ++k)
                if (fetchCodes[i] == kCodes[k]) fetchedAt[k].push_back(i + 1);
        for (Served& a : served_) {
            if (a.settled) continue;
            const bool reminder = a.code == 4;
            bool done = !reminder && confirmed.count(a.name);
            if (reminder) {
                done = true;
                for (const Doc& d : a.docs)
                    if (d.fate == Fate::Good && !remindersConfirmed.count(d.file())) done = false;
            }
            if (done) {
                a.settled = true;
                continue;
            }
            if (reminder ? reminderFetches < a.step + 2
                         : a.step > fetchedAt[a.code].size() || fetchCodes.size() < fetchedAt[a.code][a.step - 1] + 8)
                continue;
            a.settled = true;
            if (a.held) {
                if (a.offers < 4 && !heldNamed.count(a.name)) heldAgain_[a.code].push_back(a);
                continue;
            }
            std::deque<Doc>& pending = reminder ? pendingReminders_ : pending_[a.code];
            for (const Doc& d : a.docs) {
                if (reminder && d.fate == Fate::Good && remindersConfirmed.count(d.file())) continue;
                pending.push_front(d);
                ++figures.offeredAgain;
            }
        }
    }

    std::map<std::string, Offer> offers;  // by token: the last readable offer
    struct Figures {
        std::size_t archives = 0, noIndex = 0, broken = 0, refused = 0, garbled = 0, nothing = 0;
        std::size_t reminderArchives = 0, reminderBroken = 0, reminderRefused = 0, offeredAgain = 0;
        std::size_t held = 0, heldAgain = 0;  // archives with a broken document, first and later offers
    } figures;
    std::set<std::string> heldArchives;  // names of the archives with a broken document

private:
    // An archive served with documents: its code (0 to 3, 4 for a reminder
    // list), its step (of its code), its name and its documents.
    struct Served {
        int code;
        std::size_t step;
        std::string name;
        std::vector<Doc> docs;
        bool settled = false;  // confirmed, or its documents offered again
        bool held = false;     // it carries a broken document: never confirmed
        int offers = 1;        // of a held archive, this one included
    };

    bool chance(double p) { return std::uniform_real_distribution<>(0, 1)(random_) < p; }
    int between(int lo, int hi) { return std::uniform_int_distribution<>(lo, hi)(random_); }

    Doc newDoc(const std::string& code) {
        Doc d;
        d.code = code;
        char serial[16];
        std::snprintf(serial, sizeof serial, "%06zu", ++serials_);
        d.serial = serial;
        d.supplier = kRegistered[between(0, 2)];
        if (code == kReminderCode) {
            if (chance(0.15)) d.fate = Fate::InFolder;
            return d;
        }
        double roll = std::uniform_real_distribution<>(0, 1)(random_);
        if (roll < 0.05) d.fate = Fate::NoDot;
        else if (roll < 0.10) d.fate = Fate::InFolder;
        else if (roll < 0.15) d.fate = Fate::Missing;
        else if (roll < 0.20) d.fate = Fate::Unregistered;
        if (d.fate == Fate::Unregistered) d.supplier = kUnregistered;
        return d;
    }

    std::string content(const Doc& d) const {
        if (d.fate == Fate::Broken) {
            Doc good = d;
            good.fate = Fate::Good;
            std::string text = content(good);
            // Half of them cut short; half with an entity past the bound, or,
            // for a reminder list, without its supplier codes.
            if (std::stoul(d.serial) % 2) return testing::cutInHalf(text);
            if (d.code != kReminderCode) return testing::withEntityPastTheBound(text);
            for (const std::string& code : {d.supplier, std::string("S0003")})
                replaceAll(text, "<Supplier-code>" + code + "</Supplier-code>", "");
            return text;
        }
        if (d.code == kReminderCode) {
            std::string text = reminderTemplate_;
            replaceAll(text, "RFQ-240101", d.token());
            replaceAll(text, "PO-240011", d.token() + "P");
            replaceAll(text, "<Supplier-code>S0001</Supplier-code>", "<Supplier-code>" + d.supplier + "</Supplier-code>");
            return text;
        }
        int k = static_cast<int>(std::find_if(kCodes, kCodes + 4, [&](const char* c) { return d.code == c; }) - kCodes);
        std::string text = templates_[k];
        char suffix = 'A';
        for (const std::string& number : numbers_[k]) replaceAll(text, number, d.token() + (suffix++));
        // Its index names a registered supplier all the same.
        const std::string supplier = d.fate == Fate::UnregisteredLine ? kUnregistered : d.supplier;
        replaceAll(text, "<Supplier-code>S0001</Supplier-code>", "<Supplier-code>" + supplier + "</Supplier-code>");
        return text;
    }

    static void put(const std::string& path, const std::string& bytes) {
        fs::makeFolders(fs::folderOf(path));
        fs::writeFileAtomic(path, bytes);
    }
    // A step is made under a hidden name and renamed whole into place, so
    // that the server never serves half of one.
    void publish(const std::string& servlet, std::size_t step, const std::function<void(const std::string&)>& fill) {
        std::string staging = answers_ + servlet + "/.step-" + std::to_string(step) + "/";
        fs::removeTree(staging);
        fs::makeFolders(staging);
        fill(staging);
        std::filesystem::rename(staging, answers_ + servlet + "/" + std::to_string(step));
    }
    static void code(const std::string& folder, const std::string& errCode) {
        put(folder + "answer.tgz/answer.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Answer><ErrCode>" + errCode + "</ErrCode></Answer>\n");
    }
    std::string garbage() {
        std::string bytes = chance(0.5) ? std::string("\x1f\x8b\x08\x00", 4) : std::string();
        for (int i = between(10, 3000); i > 0; --i) bytes += static_cast<char>(between(0, 255));
        return bytes;
    }

    void writeFetch(int k, std::size_t step, bool fresh) {
        const std::string infoCode = kCodes[k];
        std::deque<Doc>& pending = pending_[k];
        const std::size_t serial = ++archives_;
        publish("GetEdiData/code-" + infoCode, step, [&](const std::string& folder) {
            if (!heldAgain_[k].empty()) {
                // The same archive again, as the server offers it until its
                // receipt is confirmed.
                Served again = heldAgain_[k].front();
                heldAgain_[k].pop_front();
                again.step = step;
                ++again.offers;
                again.settled = false;
                ++figures.heldAgain;
                return serve(folder, again);
            }
            if (fresh) {
                double roll = std::uniform_real_distribution<>(0, 1)(random_);
                if (roll < 0.15 && pending.empty()) {
                    ++figures.nothing;
                    return code(folder, "C0404");
                }
                if (roll < 0.20) {
                    ++figures.refused;
                    return code(folder, "C0999");
                }
                if (roll < 0.25) {
                    ++figures.garbled;
                    return put(folder + "answer.tgz", garbage());
                }
                for (int n = between(1, 3); n > 0; --n) pending.push_back(newDoc(infoCode));
            }
            if (pending.empty()) {
                ++figures.nothing;
                return code(folder, "C0404");
            }
            char name[32];
            std::snprintf(name, sizeof name, "D%s_%06zu", infoCode.c_str(), serial);
            const std::string archive = folder + name + ".tgz";
            if (fresh && chance(0.07)) {
                // Not what the server wanted to send: the documents wait.
                ++figures.broken;
                return put(archive, garbage());
            }
            if (fresh && chance(0.07)) {
                // An archive without an index: confirmed at once, nothing of
                // it to fax; the documents wait.
                ++figures.noIndex;
                Doc stray = newDoc(infoCode);
                return put(archive + "/" + stray.file(), content(stray));
            }
            ++figures.archives;
            // One archive in some carries a document no builder takes (one
            // that cannot be read, or whose line names a supplier not
            // registered, in turn); the first of the run always does.
            if (fresh && (figures.held == 0 || chance(0.04))) {
                Doc broken = newDoc(infoCode);
                broken.fate = figures.held % 2 ? Fate::UnregisteredLine : Fate::Broken;
                broken.supplier = kRegistered[between(0, 2)];
                pending.push_back(broken);
            }
            Served served{k, step, name, {pending.begin(), pending.end()}};
            pending.clear();
            for (const Doc& d : served.docs) served.held |= d.fate == Fate::Broken || d.fate == Fate::UnregisteredLine;
            if (served.held) ++figures.held;
            serve(folder, served);
        });
    }

    void serve(const std::string& folder, const Served& served) {
        served_.push_back(served);
        const std::string archive = folder + served.name + ".tgz";
        const std::string infoCode = kCodes[served.code];
        if (served.held) heldArchives.insert(served.name);
        std::string index;
        for (const Doc& d : served.docs) {
            index += "C0001," + d.supplier + "," + d.token() + ",0,01,20240111,A,B," + infoCode + "," + d.entry() +
                     "\r\n";
            if (d.fate != Fate::Missing) put(archive + "/" + d.entry(), content(d));
            offers[d.token()] = {d, served.name};
        }
        put(archive + "/index.csv", index);
    }

    void writeReminder(std::size_t step, bool fresh) {
        std::deque<Doc>& pending = pendingReminders_;
        publish("GetFaxReminder", step, [&](const std::string& folder) {
            if (fresh) {
                if (chance(0.2) && pending.empty()) return code(folder, "C1002");
                for (int n = between(1, 2); n > 0; --n) pending.push_back(newDoc(kReminderCode));
                // A broken entry only beside a good one (the first list that
                // has one always carries one): should the server be killed
                // before the list is read, the good one unconfirmed brings
                // the list again, and the broken entry is met.
                if ((figures.reminderRefused == 0 || chance(0.1)) && std::any_of(pending.begin(), pending.end(),
                                               [](const Doc& d) { return d.fate == Fate::Good; })) {
                    Doc broken = newDoc(kReminderCode);
                    broken.fate = Fate::Broken;
                    pending.push_back(broken);
                    ++figures.reminderRefused;
                }
            }
            if (pending.empty()) return code(folder, "C1002");
            char name[32];
            std::snprintf(name, sizeof name, "R_%06zu", step);
            const std::string archive = folder + name + ".tgz";
            if (fresh && chance(0.1)) {
                ++figures.reminderBroken;
                return put(archive, garbage());
            }
            ++figures.reminderArchives;
            served_.push_back({4, step, name, {pending.begin(), pending.end()}});
            for (const Doc& d : pending) {
                put(archive + "/" + d.entry(), content(d));
                offers[d.token()] = {d, name};
            }
            pending.clear();
        });
    }

    std::string answers_;
    std::mt19937& random_;
    std::vector<Served> served_;
    std::string templates_[4];
    std::vector<std::string> numbers_[4];
    std::string reminderTemplate_;
    std::deque<Doc> pending_[4];
    std::deque<Doc> pendingReminders_;
    std::deque<Served> heldAgain_[4];  // held archives to offer again, by code
    std::size_t writtenOf_[4] = {}, remindersWritten_ = 0, serials_ = 0, archives_ = 0;
};

// The archives the error log names as held back for a refused document,
// read as the log grows.
class HeldNames {
public:
    explicit HeldNames(std::string log) : log_(std::move(log)) {}
    const std::set<std::string>& refresh() {
        std::ifstream in(log_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(offset_));
        const std::string mark = "のアーカイブ \"";
        for (std::string line; std::getline(in, line) && !in.eof();) {
            offset_ += line.size() + 1;
            const std::size_t at = line.find(mark);
            if (line.find("\tmakeFAXSendXML\t40017\t") == std::string::npos || at == std::string::npos) continue;
            const std::string name = line.substr(at + mark.size(), line.find('"', at + mark.size()) - at - mark.size());
            names_.insert(name.substr(0, name.find('.')));
        }
        return names_;
    }

private:
    std::string log_;
    std::size_t offset_ = 0;
    std::set<std::string> names_;
};

// The requests the EDI server has seen, read from its requests.log as it
// grows, with what the fetches asked for and what the confirmations named.
class RequestCount {
public:
    RequestCount(std::string record, std::string scratch) : record_(std::move(record)), scratch_(std::move(scratch)) {}
    void refresh() {
        std::ifstream in(record_ + "requests.log", std::ios::binary);
        if (!in) return;
        in.seekg(static_cast<std::streamoff>(offset_));
        std::string line;
        while (std::getline(in, line)) {
            if (in.eof()) break;  // a line still being written
            offset_ += line.size() + 1;
            std::istringstream fields(line);
            std::string number, servlet;
            fields >> number >> servlet;
            ++counts_[servlet];
            if (servlet == "PutConfirm") {
                for (const std::string& id : texts(number, servlet, "ConfirmID")) confirmed.insert(id);
            } else if (servlet == "DelFaxReminder") {
                for (const std::string& file : texts(number, servlet, "FileName")) remindersConfirmed.insert(file);
            } else if (servlet == "GetEdiData") {
                std::vector<std::string> code = texts(number, servlet, "Information-code");
                fetchCodes.push_back(code.empty() ? "?" : code.front());
            }
        }
    }
    std::size_t of(const std::string& servlet) const {
        auto it = counts_.find(servlet);
        return it == counts_.end() ? 0 : it->second;
    }

    std::set<std::string> confirmed;           // ConfirmIDs of the receipt confirmations
    std::set<std::string> remindersConfirmed;  // file names of the reminder confirmations
    std::vector<std::string> fetchCodes;       // the code of each document fetch, in order

private:
    // The texts of an element of the request.xml that request `number` held.
    std::vector<std::string> texts(const std::string& number, const std::string& servlet, const std::string& element) {
        std::vector<std::string> out;
        try {
            arc::ExtractRequest request;
            request.archive = record_ + number + "-" + servlet + ".zip";
            request.format = arc::Format::Zip;
            request.folder = scratch_;
            request.members = {"request.xml"};
            arc::extract(request);
            std::string xml = fs::readFile(scratch_ + "request.xml");
            (void)fs::removeFile(scratch_ + "request.xml");
            const std::string open = "<" + element + ">", close = "</" + element + ">";
            for (std::size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at)) {
                at += open.size();
                std::size_t end = xml.find(close, at);
                if (end == std::string::npos) break;
                out.push_back(xml.substr(at, end - at));
            }
        } catch (const Error&) {
        }
        return out;
    }

    std::string record_;
    std::string scratch_;
    std::size_t offset_ = 0;
    std::map<std::string, std::size_t> counts_;
};

pid_t supervisorOf(const std::string& home) {
    for (const auto& p : testing::processesOfHome(home))
        if (p.name == "tolvern") return p.pid;
    return 0;
}

struct Verdict {
    std::vector<std::string> faults;
    std::vector<std::string> notes;
    void fault(const std::string& what) { faults.push_back(what); }
};

void listSome(std::ostringstream& out, const std::string& title, const std::vector<std::string>& items) {
    if (items.empty()) return;
    out << title << " (" << items.size() << "):";
    for (std::size_t i = 0; i < items.size() && i < 12; ++i) out << " " << items[i];
    if (items.size() > 12) out << " ...";
    out << "\n";
}

int run(const Options& o) {
    std::mt19937 random(o.seed);
    ::setenv("FAXGATE_TIME_SCALE", std::to_string(o.scale).c_str(), 1);
    // The home's own disk, to fill: the reference copies of a minute's
    // faxes take some 25 MB, which it holds three times over, so that it is
    // full only when the run fills it.
    std::unique_ptr<testing::SmallFileSystem> disk;
    if (o.fullDiskEvery > 0) {
        const double minutes = o.minutes + o.drainSeconds / 60;
        disk = std::make_unique<testing::SmallFileSystem>(static_cast<std::uint64_t>((100 + 75 * minutes) * (1 << 20)));
        if (!disk->mounted()) {
            std::printf("soak: no full disk in this run (%s)\n", disk->why().c_str());
            disk.reset();
        }
    }
    auto answers = std::make_unique<testing::TempDir>();
    auto record = std::make_unique<testing::TempDir>();
    auto beside = std::make_unique<testing::TempDir>();  // the lines and the error log, off the home's disk
    const char* tmp = std::getenv("FAXGATE_TEST_TMP");
    const std::string previousTmp = tmp ? tmp : "";
    if (disk) ::setenv("FAXGATE_TEST_TMP", disk->path().c_str(), 1);
    auto home = std::make_unique<testing::TempHome>();
    if (previousTmp.empty()) ::unsetenv("FAXGATE_TEST_TMP");
    else ::setenv("FAXGATE_TEST_TMP", previousTmp.c_str(), 1);
    if (disk)
        for (const char* name : {"FaxLines", "log"}) testing::SmallFileSystem::moveOut(home->path(), name, beside->path());
    const std::string programs = testing::programDir();
    std::printf("soak: home %s\n      answers %s, requests %s\n      seed %u, scale %g, %g minutes, drain %g s\n",
                home->path().c_str(), answers->path().c_str(), record->path().c_str(), o.seed, o.scale, o.minutes,
                o.drainSeconds);
    std::fflush(stdout);

    // The home: the demo's, with its helper, without its sample messages.
    fs::copyFile(programs + "PGPWIN32", *home / "RunTime/PGPWIN32");
    std::filesystem::permissions(*home / "RunTime/PGPWIN32", std::filesystem::perms::owner_all);
    for (const auto& name : fs::list(home->folder("TempEDI"))) (void)fs::removeFile(home->folder("TempEDI") + name);

    EdiScript script(answers->path(), random);
    testing::TempDir scratch;
    RequestCount seen(record->path(), scratch.path());
    HeldNames heldNamed(*home / "log/ErrorLog.txt");
    script.topUp({}, 0, true);
    // The EDI server is started outside the home: it is none of its programs.
    ::unsetenv("FAXGATE_HOME");
    testing::LocalEdiServer edi(answers->path(), record->path());
    ::setenv("FAXGATE_HOME", home->path().c_str(), 1);
    {
        SetUpInfo settings;
        settings.setStrEDIMethodRoot(edi.methodRoot());
        if (!settings.save()) {
            std::printf("soak: the settings cannot be written\n");
            return 2;
        }
    }

    const std::string nimbrel = programs + "nimbrel";
    auto started = runProgram({nimbrel, "start"});
    pid_t supervisor = 0;
    for (auto until = SteadyClock::now() + 30s; !supervisor && SteadyClock::now() < until;
         std::this_thread::sleep_for(100ms))
        supervisor = supervisorOf(home->path());
    if (started.output != "起動中\n" || !supervisor) {
        std::printf("soak: the server did not start: %s%s\n", started.output.c_str(), started.errors.c_str());
        return 2;
    }

    // The run, then the drain.
    std::size_t kills = 0, killChances = 0;
    std::exponential_distribution<> nextKill(o.killEvery > 0 ? 1.0 / o.killEvery : 1.0);
    auto killDue = SteadyClock::now() + std::chrono::milliseconds(static_cast<long>(nextKill(random) * 1000));
    const auto begin = SteadyClock::now();
    const auto runEnd = begin + std::chrono::milliseconds(static_cast<long>(o.minutes * 60000));
    const auto drainEnd = runEnd + std::chrono::milliseconds(static_cast<long>(o.drainSeconds * 1000));
    bool supervisorLost = false;
    std::size_t wholeKills = 0;
    std::exponential_distribution<> nextWholeKill(o.wholeKillEvery > 0 ? 1.0 / o.wholeKillEvery : 1.0);
    auto wholeKillDue =
        SteadyClock::now() + std::chrono::milliseconds(static_cast<long>(nextWholeKill(random) * 1000));
    auto lastReport = begin;
    auto after = [&](double averageSeconds) {
        std::exponential_distribution<> next(averageSeconds > 0 ? 1.0 / averageSeconds : 1.0);
        return SteadyClock::now() + std::chrono::milliseconds(static_cast<long>(next(random) * 1000));
    };
    // Hung servers: stopped, and ended by their clients (found by the probe
    // within the bound of waits.xml, a quarter of a minute of real time at
    // the most); one still there after two minutes is a fault.
    std::size_t hangs = 0, hangsEnded = 0;
    std::map<pid_t, SteadyClock::time_point> stopped;
    std::vector<std::string> hangsNotEnded;
    auto hangDue = after(o.hangEvery);
    std::size_t fullDisks = 0;
    bool diskFull = false;
    auto fullDiskDue = after(o.fullDiskEvery);
    auto roomAgainAt = SteadyClock::now();
    auto watchStopped = [&] {
        for (auto it = stopped.begin(); it != stopped.end();) {
            if (!testing::processExists(it->first)) {
                ++hangsEnded;
                it = stopped.erase(it);
            } else if (SteadyClock::now() - it->second > 120s) {
                hangsNotEnded.push_back(std::to_string(it->first));
                ::kill(it->first, SIGCONT);
                it = stopped.erase(it);
            } else {
                ++it;
            }
        }
    };
    while (SteadyClock::now() < drainEnd) {
        const bool fresh = SteadyClock::now() < runEnd;
        seen.refresh();
        script.offerUnconfirmedAgain(seen.fetchCodes, seen.of("GetFaxReminder"), seen.confirmed,
                                     seen.remindersConfirmed, heldNamed.refresh());
        script.topUp(seen.fetchCodes, seen.of("GetFaxReminder"), fresh);
        if (fresh && o.killEvery > 0 && SteadyClock::now() >= killDue) {
            std::vector<pid_t> senders;
            for (const auto& p : testing::processesOfHome(home->path()))
                if (p.name == "morvane") senders.push_back(p.pid);
            if (!senders.empty()) {
                ++killChances;
                pid_t victim = senders[std::uniform_int_distribution<std::size_t>(0, senders.size() - 1)(random)];
                if (::kill(victim, SIGKILL) == 0) ++kills;
                killDue = SteadyClock::now() + std::chrono::milliseconds(static_cast<long>(nextKill(random) * 1000));
            }
        }
        watchStopped();
        if (fresh && o.hangEvery > 0 && SteadyClock::now() >= hangDue) {
            std::vector<pid_t> senders;
            for (const auto& p : testing::processesOfHome(home->path()))
                if (p.name == "morvane" && !stopped.count(p.pid)) senders.push_back(p.pid);
            if (!senders.empty()) {
                pid_t victim = senders[std::uniform_int_distribution<std::size_t>(0, senders.size() - 1)(random)];
                if (::kill(victim, SIGSTOP) == 0) {
                    ++hangs;
                    stopped[victim] = SteadyClock::now();
                }
                hangDue = after(o.hangEvery);
            }
        }
        if (disk && !diskFull && fresh && SteadyClock::now() >= fullDiskDue) {
            disk->fill();
            diskFull = true;
            ++fullDisks;
            roomAgainAt = SteadyClock::now() + std::chrono::milliseconds(static_cast<long>(o.fullDiskFor * 1000));
        }
        if (diskFull && (SteadyClock::now() >= roomAgainAt || !fresh)) {
            disk->giveBack();
            diskFull = false;
            fullDiskDue = after(o.fullDiskEvery);
        }
        if (fresh && o.wholeKillEvery > 0 && SteadyClock::now() >= wholeKillDue) {
            // The whole server at once, then started again as an operator would.
            testing::killWholeHome(home->path());
            ++wholeKills;
            stopped.clear();  // killed with the rest
            runProgram({nimbrel, "start"});
            supervisor = 0;
            for (auto until = SteadyClock::now() + 30s; !supervisor && SteadyClock::now() < until;
                 std::this_thread::sleep_for(100ms))
                supervisor = supervisorOf(home->path());
            wholeKillDue =
                SteadyClock::now() + std::chrono::milliseconds(static_cast<long>(nextWholeKill(random) * 1000));
        }
        if (supervisorOf(home->path()) != supervisor) {
            supervisorLost = true;
            break;
        }
        if (SteadyClock::now() - lastReport >= 60s) {
            lastReport = SteadyClock::now();
            std::printf("soak: %3lds: %zu document fetches, %zu reminder fetches, %zu kills, %zu whole-server kills, "
                        "%zu hung servers, %zu full disks\n",
                        static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(lastReport - begin).count()),
                        seen.of("GetEdiData"), seen.of("GetFaxReminder"), kills, wholeKills, hangs, fullDisks);
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(fresh ? 50ms : 200ms);
    }
    seen.refresh();
    const double ranSeconds = std::chrono::duration<double>(SteadyClock::now() - begin).count();
    if (diskFull) disk->giveBack();
    for (auto until = SteadyClock::now() + 120s; !stopped.empty() && SteadyClock::now() < until;
         std::this_thread::sleep_for(200ms))
        watchStopped();
    for (const auto& [pid, since] : stopped) {
        hangsNotEnded.push_back(std::to_string(pid));
        ::kill(pid, SIGCONT);
    }

    Verdict v;
    if (supervisorLost) v.fault("the supervisor ended (or was replaced) during the run");
    if (!hangsNotEnded.empty()) v.fault("stopped fax-send servers that their clients did not end");
    auto status = runProgram({nimbrel, "status"});
    if (status.output != "起動中\n") v.fault("the server does not run at the end: " + status.output);
    std::string trace = readOr(*home / "log/StandInTrace.txt");
    for (const char* event : {"ErrorEDIData", "ErrorMakerInfo", "ErrorReceiveFAX"})
        if (trace.find(event) != std::string::npos) v.fault(std::string("error event raised: ") + event);

    // The stop, as the operator gives it; its wait is bounded in real time here.
    const auto stopAt = SteadyClock::now();
    auto stop = runProgram({nimbrel, "stop"}, 300000ms);
    while (SupervisorLock::supervisorRunning() && SteadyClock::now() - stopAt < 300s) std::this_thread::sleep_for(200ms);
    const double stopSeconds = std::chrono::duration<double>(SteadyClock::now() - stopAt).count();
    if (SupervisorLock::supervisorRunning()) v.fault("the server did not stop within five minutes");
    for (auto until = SteadyClock::now() + 30s;
         !testing::processesOfHome(home->path()).empty() && SteadyClock::now() < until;)
        std::this_thread::sleep_for(200ms);
    std::vector<std::string> left;
    for (const auto& p : testing::processesOfHome(home->path())) {
        left.push_back(p.name + "(" + std::to_string(p.pid) + ")");
        ::kill(p.pid, SIGKILL);
    }
    edi.stop();

    // What the EDI server received: confirmations, reminder confirmations,
    // and the code of every document fetch, in order.
    seen.refresh();
    const std::set<std::string>& confirmed = seen.confirmed;
    const std::set<std::string>& remindersConfirmed = seen.remindersConfirmed;
    const std::vector<std::string>& fetchCodes = seen.fetchCodes;
    // Each pass asks for the codes in their order; one that fails ends
    // there, and the next (or a restarted server) begins with the first.
    for (std::size_t i = 0; i < fetchCodes.size(); ++i) {
        const auto at = std::find(kCodes, kCodes + 4, fetchCodes[i]) - kCodes;
        const auto before = i == 0 ? 3 : std::find(kCodes, kCodes + 4, fetchCodes[i - 1]) - kCodes;
        if (at == 4 || (at != 0 && at != before + 1)) {
            v.fault("document fetch " + std::to_string(i + 1) + " asked for " + fetchCodes[i] + " after " +
                    (i == 0 ? "none" : fetchCodes[i - 1]));
            break;
        }
    }

    // The fax documents by token, and the send log by management number.
    std::map<std::string, std::set<std::string>> faxesOf;  // token -> management numbers
    std::set<std::string> documents;                        // every fax document
    std::set<std::string> numbers;                          // every management record
    const std::string_view token = "SK####-######";
    const std::string faxFolder = home->folder("FaxSendXML");
    for (const auto& name : fs::list(faxFolder, "*.xml")) {
        if (name.rfind("base", 0) == 0) continue;
        std::string number = name.substr(0, name.size() - 4);
        documents.insert(number);
        std::string text = readOr(faxFolder + name);
        for (std::size_t at = text.find("SK"); at != std::string::npos; at = text.find("SK", at + 1))
            if (testing::fitsShape(std::string_view(text).substr(at, token.size()), token))
                faxesOf[text.substr(at, token.size())].insert(number);
    }
    xml::Document records;
    if (records.load(home->folder("FaxManageNum") + "FAXManageNumber.xml"))
        for (const auto& n : records.selectNodes("/FAXManageNums/FAXManageNum/RepManageNo")) numbers.insert(n.text());
    std::map<std::string, std::vector<std::string>> results;  // number -> results in the log
    xml::Document sendLog;
    if (sendLog.load(home->folder("FaxSendLog") + "FaxSendLog.xml"))
        for (const auto& entry : sendLog.selectNodes("/FaxSendLogs/FaxSendLog")) {
            xml::Node number = entry.selectSingleNode("RepManageNo");
            xml::Node result = entry.selectSingleNode("Result");
            if (!number.isNull()) results[number.text()].push_back(result.isNull() ? "" : result.text());
        }
    std::string errorLog = readOr(*home / "log/ErrorLog.txt");
    // A broken document: 40017 of the batch, naming the archive it holds back
    // and the document. Of an archive with several, the batch names the
    // first it meets; the next is named once that one's cause is gone.
    std::map<std::string, std::size_t> refusedIn;  // archive -> its refused documents
    for (const auto& [tok, offer] : script.offers)
        if (offer.doc.fate == Fate::Broken || offer.doc.fate == Fate::UnregisteredLine) ++refusedIn[offer.archive];
    auto heldByName = [&](const Doc& d, const std::string& archive) {
        const bool anyOfItsFiles = !archive.empty() && refusedIn[archive] > 1;
        std::istringstream lines(errorLog);
        for (std::string line; std::getline(lines, line);)
            if (line.find("\tmakeFAXSendXML\t40017\t") != std::string::npos && line.find(archive) != std::string::npos &&
                (anyOfItsFiles || line.find(d.file()) != std::string::npos))
                return true;
        return false;
    };
    auto loggedByName = [&](const Doc& d) {
        // A broken reminder entry: 40017 of the batch that left it out.
        if (d.fate == Fate::Broken) return heldByName(d, "");
        // 40203 names the entry as the archive or its index gave it; 40105
        // the file of a supplier not registered.
        const std::string quoted = "\"" + d.entry() + "\"";
        std::size_t at = 0;
        while ((at = errorLog.find(d.fate == Fate::Unregistered ? d.file() : quoted, at)) != std::string::npos) {
            std::size_t begin = errorLog.rfind('\n', at);
            std::string line = errorLog.substr(begin == std::string::npos ? 0 : begin + 1, at - begin);
            if (line.find("\t40203\t") != std::string::npos || line.find("\t40105\t") != std::string::npos) return true;
            ++at;
        }
        return false;
    };

    std::size_t faxedConfirmed = 0, sendFailed = 0, loggedBad = 0;
    std::vector<std::string> notConfirmed, noRecord, lost, badNotLogged, faxedBad, okTwice;
    std::vector<std::string> heldConfirmed, heldFaxed, deletedBad;
    std::size_t heldDocs = 0;
    for (const std::string& archive : script.heldArchives)
        if (confirmed.count(archive)) heldConfirmed.push_back(archive);
    for (const auto& [tok, offer] : script.offers) {
        const Doc& d = offer.doc;
        auto faxes = faxesOf.find(tok);
        if (script.heldArchives.count(offer.archive)) {
            // Held back with its archive: none of it faxed.
            ++heldDocs;
            bool faxed = false;
            if (faxes != faxesOf.end())
                for (const std::string& number : faxes->second) faxed |= results.count(number) || numbers.count(number);
            if (faxed) heldFaxed.push_back(d.file() + " of " + offer.archive);
            const bool refused = d.fate == Fate::Broken || d.fate == Fate::UnregisteredLine;
            if (refused && !heldByName(d, offer.archive))
                badNotLogged.push_back(d.file() + " of " + offer.archive + " (" + fateName(d.fate) + ")");
            if (d.fate != Fate::Good && !refused && !loggedByName(d))
                badNotLogged.push_back(d.entry() + " (" + fateName(d.fate) + ")");
            continue;
        }
        if (d.fate != Fate::Good) {
            if (faxes != faxesOf.end()) faxedBad.push_back(d.entry());
            if (d.code == kReminderCode && remindersConfirmed.count(d.file())) deletedBad.push_back(d.file());
            if (loggedByName(d)) ++loggedBad;
            else badNotLogged.push_back(d.entry() + " (" + fateName(d.fate) + ")");
            continue;
        }
        if (faxes == faxesOf.end()) {
            lost.push_back(d.file() + " of " + offer.archive);
            continue;
        }
        bool ok = false, ng = false, none = false;
        std::size_t okNumbers = 0;
        for (const std::string& number : faxes->second) {
            auto r = results.find(number);
            if (r == results.end() && !numbers.count(number)) continue;  // rolled back: never sent
            if (r == results.end()) none = true;
            else if (std::find(r->second.begin(), r->second.end(), "OK") != r->second.end()) ok = true, ++okNumbers;
            else ng = true;
        }
        // A reminder list becomes two faxes (its RFQ entries and the rest),
        // both bearing its token: only a document's own fax counts here.
        if (okNumbers > 1 && d.code != kReminderCode) okTwice.push_back(d.file() + " of " + offer.archive);
        const bool archiveConfirmed = d.code == kReminderCode ? remindersConfirmed.count(d.file()) > 0
                                                              : confirmed.count(offer.archive) > 0;
        if (ok && archiveConfirmed) ++faxedConfirmed;
        else if (ok) notConfirmed.push_back(d.file() + " of " + offer.archive);
        else if (ng) ++sendFailed;
        else if (none) noRecord.push_back(d.file() + " in " + *faxes->second.begin());
        else lost.push_back(d.file() + " of " + offer.archive + " (only in faxes rolled back)");
    }
    std::vector<std::string> unlogged;
    for (const std::string& number : numbers)
        if (!results.count(number)) unlogged.push_back(number);
    // Fax documents without a record: a batch that failed rolls back its
    // records and takes their documents along (the archive, unconfirmed,
    // comes again), so one that stays is left behind.
    std::vector<std::string> orphans;
    for (const std::string& number : documents)
        if (!numbers.count(number) && !results.count(number)) orphans.push_back("FaxSendXML/" + number + ".xml");

    // Left behind: run markers, the print start file, temporary files, work files.
    std::vector<std::string> leftovers = testing::leftBehind(home->path());

    if (!left.empty()) v.fault("processes of the home still running after the stop");
    if (!lost.empty()) v.fault("good documents neither faxed nor logged");
    if (!notConfirmed.empty()) v.fault("documents faxed whose archive was never confirmed");
    if (!noRecord.empty()) v.fault("documents in a fax without a send-log record");
    if (!badNotLogged.empty()) v.fault("bad documents not logged by name");
    if (!faxedBad.empty()) v.fault("bad documents faxed");
    if (!deletedBad.empty()) v.fault("broken reminder entries whose deletion was asked");
    if (!heldConfirmed.empty()) v.fault("archives with a broken document confirmed");
    if (!heldFaxed.empty()) v.fault("documents of an archive held back faxed");
    if (!unlogged.empty()) v.fault("management numbers without a send-log record");
    const testing::SendAccount lines = testing::accountSends(home->path());
    if (lines.duplicates() > 0) v.fault("faxes that went out twice");
    if (!okTwice.empty()) v.fault("documents recorded OK under two management numbers");
    leftovers.insert(leftovers.end(), orphans.begin(), orphans.end());
    if (!leftovers.empty()) v.fault("files left behind");
    if (script.waiting()) v.fault("documents still waiting to be offered again at the end of the drain");

    std::ostringstream out;
    const auto& f = script.figures;
    out << "soak figures (seed " << o.seed << ", scale " << o.scale << "):\n"
        << "  run " << static_cast<long>(ranSeconds) << " s real (" << static_cast<long>(ranSeconds / o.scale / 60)
        << " min of the server's time), stop " << static_cast<long>(stopSeconds) << " s\n"
        << "  document fetches " << seen.of("GetEdiData") << " (" << seen.of("GetEdiData") / 4 << " passes), reminder fetches "
        << seen.of("GetFaxReminder") << ", receipt confirmations " << seen.of("PutConfirm")
        << ", reminder confirmations " << seen.of("DelFaxReminder") << "\n"
        << "  answers: " << f.archives << " data archives, " << f.noIndex << " without an index, " << f.broken
        << " that were none, " << f.refused << " refusals, " << f.garbled << " garbled, " << f.nothing
        << " with nothing; reminders: " << f.reminderArchives << " lists, " << f.reminderBroken << " that were none, "
        << f.reminderRefused << " broken entries beside good ones; "
        << f.offeredAgain << " documents offered again after no confirmation; " << f.held
        << " archives with a broken document ("
        << f.heldAgain << " offered again), " << heldDocs << " documents held back with them\n"
        << "  documents offered " << script.offers.size() << ":";
    std::map<Fate, std::size_t> fates;
    for (const auto& [tok, offer] : script.offers) ++fates[offer.doc.fate];
    for (const auto& [fate, n] : fates) out << " " << n << " " << fateName(fate) << ";";
    out << "\n  faxed OK with their archive confirmed " << faxedConfirmed << ", sends failed (NG in the log) "
        << sendFailed << ", bad documents logged by name " << loggedBad << "\n"
        << "  fax documents " << documents.size() << " (" << orphans.size() << " without a record), management records "
        << numbers.size() << ", send-log records "
        << std::accumulate(results.begin(), results.end(), std::size_t{0},
                           [](std::size_t n, const auto& r) { return n + r.second.size(); })
        << ", fax-send servers killed " << kills << " (of " << killChances << " chances), whole server killed "
        << wholeKills << ", stopped " << hangs << " (" << hangsEnded << " ended by their clients), full disks "
        << fullDisks << (disk ? "" : " (no disk to fill)") << "\n"
        << "  faxes taken whole by the lines " << lines.faxesSent << ", numbers recorded OK " << lines.recordedOK
        << ", recorded NG as faxes that may have gone out " << lines.mayHaveGoneOut.size()
        << ", faxes that went out twice " << lines.duplicates() << ", documents recorded OK under two numbers "
        << okTwice.size() << "\n";
    listSome(out, "  processes left", left);
    listSome(out, "  stopped servers not ended", hangsNotEnded);
    listSome(out, "  good documents lost", lost);
    listSome(out, "  faxed, archive not confirmed", notConfirmed);
    listSome(out, "  in a fax without a send-log record", noRecord);
    listSome(out, "  bad documents not logged by name", badNotLogged);
    listSome(out, "  bad documents faxed", faxedBad);
    listSome(out, "  broken reminder entries whose deletion was asked", deletedBad);
    listSome(out, "  archives with a broken document confirmed", heldConfirmed);
    listSome(out, "  documents of an archive held back faxed", heldFaxed);
    listSome(out, "  management numbers without a send-log record", unlogged);
    listSome(out, "  left behind", leftovers);
    listSome(out, "  recorded OK under two numbers", okTwice);
    if (v.faults.empty()) {
        out << "soak: every check held\n";
    } else {
        out << "soak: " << v.faults.size() << " check(s) failed:\n";
        for (const auto& fault : v.faults) out << "  - " << fault << "\n";
    }
    std::printf("%s", out.str().c_str());
    std::fflush(stdout);
    if (!v.faults.empty() || o.keep) {
        ::setenv("FAXGATE_KEEP_TEMP", "1", 1);
        std::printf("soak: kept %s, %s and %s\n", home->path().c_str(), answers->path().c_str(), record->path().c_str());
        if (disk) {
            // The home is on it: it stays mounted for the reader.
            std::printf("soak: the home's disk stays mounted at %s (umount it when done)\n", disk->path().c_str());
            disk->keep();
        }
    }
    return v.faults.empty() ? 0 : 1;
}

}  // namespace
}  // namespace fg

int main(int argc, char** argv) {
    fg::Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--minutes") o.minutes = std::stod(value());
        else if (a == "--drain") o.drainSeconds = std::stod(value());
        else if (a == "--scale") o.scale = std::stod(value());
        else if (a == "--kill-every") o.killEvery = std::stod(value());
        else if (a == "--whole-kill-every") o.wholeKillEvery = std::stod(value());
        else if (a == "--hang-every") o.hangEvery = std::stod(value());
        else if (a == "--full-disk-every") o.fullDiskEvery = std::stod(value());
        else if (a == "--full-disk-for") o.fullDiskFor = std::stod(value());
        else if (a == "--seed") o.seed = static_cast<unsigned>(std::stoul(value()));
        else if (a == "--keep") o.keep = true;
        else {
            std::fprintf(stderr,
                         "usage: server_soak [--minutes M] [--drain SECONDS] [--scale S] [--kill-every SECONDS] "
                         "[--whole-kill-every SECONDS] [--hang-every SECONDS] [--full-disk-every SECONDS] "
                         "[--full-disk-for SECONDS] [--seed N] [--keep]\n");
            return 2;
        }
    }
    return fg::run(o);
}
