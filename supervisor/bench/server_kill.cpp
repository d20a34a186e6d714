// The whole FAX server killed in the middle of its send phase, trial after
// trial: on a home of its own with the demo's documents and slow simulated
// lines, the server is started, every process of the home is killed (SIGKILL,
// as a power cut or an out-of-memory kill does it) at a random moment after
// the batch confirmed its archives, the server is started again and left to
// drain, then stopped. Each trial prints what became of the documents; the
// totals come last.
//
//   server_kill [--trials N] [--seed N] [--scale S]
// Defaults: 20 trials, a random seed, a scale of 0.001. Exit code 0 when no
// trial lost a document, faxed one twice or left anything of a dead sender
// behind, 1 otherwise. Not a test: its figures are for the reader.
#include "platform/files.h"
#include "platform/testing/run_program.h"
#include "platform/testing/send_lines.h"
#include "platform/testing/temp_home.h"
#include "platform/testing/whole_home.h"
#include "settings/set_up_info.h"
#include "standins/edi_server/local_edi_server.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

namespace fg {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

struct Totals {
    std::size_t trials = 0, documents = 0, ok = 0, ng = 0, mayHaveGoneOut = 0, notOnce = 0, duplicates = 0,
                leftovers = 0, killed = 0, owed = 0;
    double drainSeconds = 0;
};

bool trial(int number, std::mt19937& random, Totals& totals) {
    testing::TempHome home;
    testing::TempDir answers, record;
    fs::copyFile(testing::programDir() + "PGPWIN32", home / "RunTime/PGPWIN32");
    std::filesystem::permissions(home / "RunTime/PGPWIN32", std::filesystem::perms::owner_all);
    std::filesystem::copy(testing::sourceDir() + "demo/edi_server", answers.path(), std::filesystem::copy_options::recursive);
    fs::removeTree(answers / "GetFaxReminder");
    for (const auto& name : fs::list(home.folder("TempEDI"))) (void)fs::removeFile(home.folder("TempEDI") + name);
    ::unsetenv("FAXGATE_HOME");
    testing::LocalEdiServer edi(answers.path(), record.path());
    ::setenv("FAXGATE_HOME", home.path().c_str(), 1);
    SetUpInfo settings;
    settings.setStrEDIMethodRoot(edi.methodRoot());
    if (!settings.save()) return false;
    // No send may reach its bound because the machine is loaded: a hung-up
    // call that the line completed anyway would be sent again.
    home.write("waits.xml", "<Waits><SendPage>600000000</SendPage></Waits>");
    for (int port = 1; port <= 6; ++port)
        testing::writeLine(home.path(), port,
                           "<ConnectTime>0</ConnectTime><PageTime>" + std::to_string(170000 + 80000 * port) + "</PageTime>");

    const std::string nimbrel = testing::programDir() + "nimbrel";
    const std::size_t sentBefore = std::uniform_int_distribution<std::size_t>(0, 5)(random);
    const auto extra = std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 400)(random));
    testing::runProgram({nimbrel, "start"});
    bool reached = testing::eventually(
        [&] {
            return !fs::list(record.path(), "*-PutConfirm.zip").empty() &&
                   testing::accountSends(home.path()).results.size() >= sentBefore;
        },
        180000ms);
    // The moment itself: a random time on from the event.
    std::this_thread::sleep_for(extra);
    std::size_t killed = testing::killWholeHome(home.path());

    // Confirmations the kill cut off are sent by the restart, no others.
    const std::size_t confirmedBefore = fs::list(record.path(), "*-PutConfirm.zip").size();
    const auto restart = SteadyClock::now();
    testing::runProgram({nimbrel, "start"});
    bool drained = testing::eventually(
        [&] {
            return testing::handOversOf(home.path()).empty() && fs::list(home.folder("TempEDI")).empty() &&
                   testing::accountSends(home.path()).notRecordedOnce().empty();
        },
        300000ms);
    const double drain = std::chrono::duration<double>(SteadyClock::now() - restart).count();
    testing::runProgram({nimbrel, "stop"}, 300000ms);
    testing::eventually([&] { return testing::processesOfHome(home.path()).empty(); }, 60000ms);
    testing::killWholeHome(home.path());
    edi.stop();

    const std::size_t owed = fs::list(record.path(), "*-PutConfirm.zip").size() - confirmedBefore;
    testing::SendAccount a = testing::accountSends(home.path());
    const std::vector<std::string> stopped = testing::takeTemporariesOfEndedWriters(a.leftovers);
    std::size_t ok = 0, ng = 0;
    for (const auto& [n, results] : a.results)
        for (const auto& r : results) (r == "OK" ? ok : ng)++;
    const bool good = reached && drained && a.notRecordedOnce().empty() && a.duplicates() == 0 && a.leftovers.empty();
    std::printf("trial %2d: killed %zu processes %zu record(s) + %lld ms after the confirmation; %zu documents, %zu OK, "
                "%zu NG (%zu may have gone out), %zu not recorded once, %zu faxed twice, %zu left behind, "
                "%zu owed receipt(s) confirmed at the restart; drained in %.1f s%s\n",
                number, killed, sentBefore, static_cast<long long>(extra.count()), a.numbers.size(), ok, ng,
                a.mayHaveGoneOut.size(), a.notRecordedOnce().size(), a.duplicates(), a.leftovers.size(), owed, drain,
                good ? "" : "  <-- FAULT");
    for (const auto& left : a.leftovers) std::printf("          left: %s\n", left.c_str());
    for (const auto& left : stopped) std::printf("          left by the stop (removed at the next start): %s\n", left.c_str());
    std::fflush(stdout);
    ++totals.trials;
    totals.documents += a.numbers.size();
    totals.ok += ok;
    totals.ng += ng;
    totals.mayHaveGoneOut += a.mayHaveGoneOut.size();
    totals.notOnce += a.notRecordedOnce().size();
    totals.duplicates += a.duplicates();
    totals.leftovers += a.leftovers.size();
    totals.killed += killed;
    totals.owed += owed;
    totals.drainSeconds += drain;
    if (!good) ::setenv("FAXGATE_KEEP_TEMP", "1", 1);
    return good;
}

}  // namespace
}  // namespace fg

int main(int argc, char** argv) {
    int trials = 20;
    unsigned seed = std::random_device{}();
    std::string scale = "0.001";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--trials") trials = std::atoi(argv[i + 1]);
        else if (a == "--seed") seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
        else if (a == "--scale") scale = argv[i + 1];
        else {
            std::fprintf(stderr, "usage: server_kill [--trials N] [--seed N] [--scale S]\n");
            return 2;
        }
    }
    ::setenv("FAXGATE_TIME_SCALE", scale.c_str(), 1);
    std::printf("server_kill: %d trials, seed %u, scale %s\n", trials, seed, scale.c_str());
    std::mt19937 random(seed);
    fg::Totals t;
    int faults = 0;
    for (int n = 1; n <= trials; ++n) faults += fg::trial(n, random, t) ? 0 : 1;
    std::printf("server_kill: %zu trials, %zu processes killed, %zu documents: %zu OK, %zu NG (%zu may have gone out); "
                "%zu not recorded once, %zu faxed twice, %zu left behind; %zu owed receipt(s) confirmed at a restart; "
                "mean drain %.1f s; %d trial(s) with a fault\n",
                t.trials, t.killed, t.documents, t.ok, t.ng, t.mayHaveGoneOut, t.notOnce, t.duplicates, t.leftovers, t.owed,
                t.trials ? t.drainSeconds / static_cast<double>(t.trials) : 0.0, faults);
    return faults == 0 ? 0 : 1;
}
