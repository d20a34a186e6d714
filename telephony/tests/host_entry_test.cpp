#include "telephony/host_entry.h"
#include "telephony_fixture.h"

#include "platform/process/event_pump.h"
#include "platform/process/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>

namespace fg::testing {
namespace {

using Outcome = TelephonyHostEntry::Outcome;

class HostEntry : public TelephonyHome {
protected:
    // Serves `requests` from a file into answers.txt; the service's exit code.
    int serveFile(const std::string& requests) {
        home.write("requests.txt", requests);
        int in = ::open((home / "requests.txt").c_str(), O_RDONLY | O_CLOEXEC);
        int out = ::open((home / "answers.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        TelephonyControl control;
        TelephonyHostEntry entry(control);
        EventPump pump;
        int code = entry.serve(pump, in, out);
        ::close(in);
        ::close(out);
        return code;
    }
};

std::string program() { return programDir() + "telephony_request"; }

// Files of the folder whose names begin with "." and "@": the locks of run markers.
std::vector<std::string> markerLocks(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().rfind(".@", 0) == 0) out.push_back(e.path().filename().string());
    return out;
}

TEST_F(HostEntry, EachRequestIsAnsweredWithTheResultAndTheArgumentsAfterTheCall) {
    store({record("N1", kSupplierFax, "9"), record("N4", kSupplierFax, "2"), record("NX", kSupplierFax, "x")});
    SpyControl control;
    TelephonyHostEntry entry(control);
    struct Case {
        std::vector<std::string> request;
        Outcome outcome;
        std::vector<std::string> fields;  // for a failure: "ERR" and its number
    } cases[] = {
        {{"checkFAXNo", kSupplierFax}, Outcome::Answered, {"0", kSupplierFax}},
        {{"CHECKFAXNO", kStrangerFax}, Outcome::Answered, {"1", kStrangerFax}},
        {{"dataDecision", "N4#", kSupplierFax}, Outcome::Answered, {"2", "N4", kSupplierFax}},
        {{"dataDecision", "N1*", kSupplierFax}, Outcome::Answered, {"0", "N1", kSupplierFax}},
        {{"deliveryestimateDecision", "N1", kSupplierFax}, Outcome::Answered, {"0", "N1", kSupplierFax}},
        {{"SelFaxSendLog", "202401", kSupplierFax, "x"}, Outcome::Answered, {"False", "202401", kSupplierFax, "x"}},
        {{"confirmOrderReport", kSupplierFax, "N404#"}, Outcome::Answered, {"1", kSupplierFax, "N404"}},
        {{"checkBeforeDecision", kSupplierFax, "NX"}, Outcome::Raised, {"ERR", "13"}},
        {{"nosuch"}, Outcome::BadRequest, {"ERR", "5"}},
        {{}, Outcome::BadRequest, {"ERR", "5"}},
        {{"checkFAXNo"}, Outcome::BadRequest, {"ERR", "5"}},
        {{"checkFAXNo", kSupplierFax, "x"}, Outcome::BadRequest, {"ERR", "5"}},
        {{"RunTimeStart", "x"}, Outcome::BadRequest, {"ERR", "5"}},
        {{"RunTimeStop"}, Outcome::BadRequest, {"ERR", "5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.empty() ? "(empty)" : c.request[0]);
        TelephonyHostEntry::Answer a = entry.serveRequest(c.request);
        EXPECT_EQ(a.outcome, c.outcome);
        if (c.outcome == Outcome::Answered) {
            EXPECT_EQ(a.fields, c.fields);
        } else {
            ASSERT_EQ(a.fields.size(), 3u);
            EXPECT_EQ(a.fields[0], c.fields[0]);
            EXPECT_EQ(a.fields[1], c.fields[1]);
            EXPECT_FALSE(a.fields[2].empty());
        }
    }
    // Every request that failed is in the log, under the member or the entry.
    auto entries = telephonyLog();
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[0].source, "checkBeforeDecision");
    EXPECT_EQ(entries[0].number, errnum::TypeMismatch);
    for (std::size_t i = 1; i < entries.size(); ++i) EXPECT_EQ(entries[i].source, "TelephonyHostEntry");
    EXPECT_TRUE(RunMarker::find(home.path()).empty());
}

TEST_F(HostEntry, AOneShotCallHoldsAMarkerOfItsOwnWhileItWorks) {
    store({record("N1", kSupplierFax, "9")});
    SpyControl control;
    TelephonyHostEntry entry(control);
    TelephonyHostEntry::Answer a = entry.callOnce({"dataDecision", "N1#", kSupplierFax});
    EXPECT_EQ(a.fields, (std::vector<std::string>{"0", "N1", kSupplierFax}));
    ASSERT_EQ(control.markersSeen.size(), 1u);
    EXPECT_TRUE(control.markersSeen[0].live);
    EXPECT_TRUE(RunMarker::find(home.path()).empty());
    // The bracket is the call's own: a marker of a process about to end is held by nobody.
    EXPECT_EQ(entry.callOnce({"RunTimeStart"}).outcome, Outcome::BadRequest);
    EXPECT_EQ(entry.callOnce({"RunTimeStop", "@20240105093000"}).outcome, Outcome::BadRequest);
    EXPECT_TRUE(RunMarker::find(home.path()).empty());
    EXPECT_TRUE(markerLocks(home.path()).empty());
}

TEST_F(HostEntry, AServedHostBracketsItsCallsAndMarkersLeftGoWithTheService) {
    SpyControl control;
    {
        TelephonyHostEntry entry(control);
        std::string first = entry.serveRequest({"RunTimeStart"}).fields.at(0);
        auto markers = RunMarker::find(home.path());
        ASSERT_EQ(markers.size(), 1u);
        EXPECT_EQ(markers[0].fileName, first + ".XML");
        EXPECT_TRUE(markers[0].live);
        EXPECT_EQ(entry.serveRequest({"RunTimeStop", first}).fields, (std::vector<std::string>{"", first}));
        EXPECT_TRUE(RunMarker::find(home.path()).empty());
        std::string left = entry.serveRequest({"runtimestart"}).fields.at(0);
        EXPECT_EQ(entry.heldMarkers(), std::set<std::string>{left});
        EXPECT_EQ(RunMarker::find(home.path()).size(), 1u);
    }
    EXPECT_TRUE(RunMarker::find(home.path()).empty());
    EXPECT_TRUE(markerLocks(home.path()).empty());
}

TEST_F(HostEntry, AMarkerThatCannotBeWrittenAnswersAnEmptyNameAndIsLogged) {
    TelephonyControl control;
    TelephonyHostEntry entry(control);
    ::setenv("FAXGATE_HOME", (home / "no such folder/").c_str(), 1);
    TelephonyHostEntry::Answer a = entry.serveRequest({"RunTimeStart"});
    ::setenv("FAXGATE_HOME", home.path().c_str(), 1);
    EXPECT_EQ(a.fields, std::vector<std::string>{""});
    EXPECT_TRUE(entry.heldMarkers().empty());
    ASSERT_EQ(telephonyLog().size(), 1u);
    EXPECT_EQ(telephonyLog()[0].number, errnum::PathFileAccessError);
}

TEST_F(HostEntry, ServingAnswersOneLinePerRequestUntilTheInputEnds) {
    // The last request has no line end; the empty line and the broken one are bad requests.
    home.write("requests.txt", "checkFAXNo\t" + kSupplierFax + "\r\n" + "RunTimeStart\n" + "\n" +
                                   "checkFAXNo\tbroken\\x\n" + "makeOCRData\t" + kSupplierFax + "\t納期\\\\A\n" +
                                   "checkFAXNo\t" + kStrangerFax);
    int in = ::open((home / "requests.txt").c_str(), O_RDONLY | O_CLOEXEC);
    int out = ::open((home / "answers.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    TelephonyControl control;
    TelephonyHostEntry entry(control);
    EventPump pump;
    EXPECT_EQ(entry.serve(pump, in, out), 0);
    ::close(in);
    ::close(out);

    std::string pending = home.read("answers.txt");
    std::vector<std::string> answers;
    for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1))
        answers.push_back(pending.substr(0, nl));
    EXPECT_EQ(pending, "");
    ASSERT_EQ(answers.size(), 6u);
    EXPECT_EQ(answers[0], "0\t" + kSupplierFax);
    EXPECT_EQ(answers[1].rfind("@", 0), 0u) << answers[1];
    EXPECT_EQ(answers[2].rfind("ERR\t5\t", 0), 0u) << answers[2];
    EXPECT_EQ(answers[3].rfind("ERR\t5\t", 0), 0u) << answers[3];
    EXPECT_EQ(answers[4], "0\t" + kSupplierFax + "\t納期\\\\A");
    EXPECT_EQ(answers[5], "1\t" + kStrangerFax);
    // The marker the host did not stop went with the end of its input.
    EXPECT_TRUE(RunMarker::find(home.path()).empty());
    EXPECT_EQ(awaitStarts(1), std::vector<std::string>{"pomrik\t" + kSupplierFax + ",納期\\A"});
}

TEST_F(HostEntry, ARequestLineWithoutEndEndsTheService) {
    EXPECT_EQ(serveFile("RunTimeStart\n" + std::string(TelephonyHostEntry::kMaxRequestLine + 10, 'x')), 1);
    ASSERT_EQ(telephonyLog().size(), 1u);
    EXPECT_EQ(telephonyLog()[0].number, errnum::OutOfMemory);
    EXPECT_TRUE(RunMarker::find(home.path()).empty());
}

TEST_F(HostEntry, ALineTooLongIsRefusedAndTheNextOneIsServed) {
    EXPECT_EQ(serveFile("checkFAXNo\t" + std::string(TelephonyHostEntry::kMaxRequestLine + 10, 'x') +
                        "\ncheckFAXNo\t" + kSupplierFax + "\n"),
              0);
    EXPECT_EQ(home.read("answers.txt").substr(0, 6), "ERR\t7\t");
    EXPECT_NE(home.read("answers.txt").find("\n0\t" + kSupplierFax + "\n"), std::string::npos);
    ASSERT_EQ(telephonyLog().size(), 1u);
    EXPECT_EQ(telephonyLog()[0].number, errnum::OutOfMemory);
}

TEST_F(HostEntry, AnswerLinesCarryNoControlByteNorBrokenText) {
    struct Case {
        std::string field, written;
    } cases[] = {
        {std::string("03\0\xff\xfe" "12", 7), "03\\x00\\xFF\\xFE12"},
        {"\x1b[2J\x7f", "\\x1B[2J\\x7F"},
        {"納期\t\\", "納期\\t\\\\"},
        {"\xe7\xb4", "\\xE7\\xB4"},          // a character cut short
        {"\xc0\x80\xed\xa0\x80", "\\xC0\\x80\\xED\\xA0\\x80"},  // overlong, surrogate
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        EXPECT_EQ(TelephonyHostEntry::formatLine({"1", c.field}), "1\t" + c.written + "\n");
        EXPECT_EQ(TelephonyHostEntry::parseLine(c.written), std::vector<std::string>{c.field});
    }
}

TEST_F(HostEntry, ABadRequestIsQuotedShortAndEscapedInTheLog) {
    TelephonyControl control;
    TelephonyHostEntry entry(control);
    auto answer = entry.serveRequest({std::string(100000, '\x01')});
    EXPECT_EQ(answer.outcome, Outcome::BadRequest);
    ASSERT_EQ(telephonyLog().size(), 1u);
    const std::string logged = telephonyLog()[0].description;
    EXPECT_LT(logged.size(), 1200u);
    EXPECT_EQ(logged.find('\x01'), std::string::npos);
    EXPECT_NE(logged.find("\\x01\\x01"), std::string::npos) << logged;
}

TEST_F(HostEntry, TheCommandLineCallsOneMemberAndPrintsItsAnswer) {
    store({record("N4", kSupplierFax, "2"), record("NX", kSupplierFax, "x")});
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string output;  // the whole line, or its beginning when it ends in a tab
    } cases[] = {
        {{"checkFAXNo", kSupplierFax}, 0, "0\t" + kSupplierFax + "\n"},
        {{"dataDecision", "N4#", kSupplierFax}, 0, "2\tN4\t" + kSupplierFax + "\n"},
        {{"SelFaxSendLog", "202401", kSupplierFax, ""}, 0, "False\t202401\t" + kSupplierFax + "\t\n"},
        {{"checkBeforeDecision", kSupplierFax, "NX"}, 1, "ERR\t13\t"},
        {{"RunTimeStart"}, 2, "ERR\t5\t"},
        {{"nosuch", "x"}, 2, "ERR\t5\t"},
        {{}, 2, ""},
        {{"--serve", "x"}, 2, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{program()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ProgramRun r = runProgram(args);
        SCOPED_TRACE(r.output + r.errors);
        EXPECT_EQ(r.exitCode, c.exitCode);
        if (!c.output.empty() && c.output.back() == '\t') EXPECT_EQ(r.output.rfind(c.output, 0), 0u);
        else EXPECT_EQ(r.output, c.output);
    }
    EXPECT_TRUE(RunMarker::find(home.path()).empty());
    EXPECT_TRUE(markerLocks(home.path()).empty());
    // The failures went to the installation's telephony error log.
    std::string logged = home.read("log/TelephonyErrorLog.txt");
    EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 3) << logged;
}

TEST_F(HostEntry, TheProgramStartedForEveryCallLoadsNeitherOurLibrariesNorTheUploads) {
    ProgramRun loads = runProgram({"ldd", program()});
    ASSERT_EQ(loads.exitCode, 0) << loads.errors;
    for (const char* library : {"libfaxgate_", "libcurl", "libarchive", "libcairo"})
        EXPECT_EQ(loads.output.find(library), std::string::npos) << library << "\n" << loads.output;

    // Without its full program the host still gets each member's own result
    // codes, one-shot and served; a decision that cannot upload answers 9,
    // and the missing program is logged.
    store({record("N1", kSupplierFax, "9")});
    fs::makeFolders(home / "alone");
    const std::string alone = home / "alone/telephony_request";
    fs::writeFileAtomic(alone, fs::readFile(program()));
    ASSERT_EQ(::chmod(alone.c_str(), 0755), 0);
    const struct {
        std::vector<std::string> request;
        std::string answer;
    } cases[] = {
        {{"dataDecision", "N1", kSupplierFax}, "9\tN1\t" + kSupplierFax},
        {{"deliveryestimateDecision", "N1", kSupplierFax}, "9\tN1\t" + kSupplierFax},
        {{"dataDecision", "N404", kSupplierFax}, "3\tN404\t" + kSupplierFax},
        {{"checkFAXNo", kSupplierFax}, "0\t" + kSupplierFax},
    };
    PipedProgram served(alone, {"--serve"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request[0] + " " + c.request[1]);
        std::vector<std::string> args{alone};
        args.insert(args.end(), c.request.begin(), c.request.end());
        ProgramRun r = runProgram(args);
        EXPECT_EQ(r.exitCode, 0) << r.errors;
        EXPECT_EQ(r.output, c.answer + "\n");
        ASSERT_TRUE(served.write(TelephonyHostEntry::formatLine(c.request)));
        EXPECT_EQ(served.readLine().value_or("(no answer)"), c.answer);
    }
    served.closeInput();
    EXPECT_TRUE(served.process().waitFor(std::chrono::milliseconds(60000)));
    EXPECT_NE(home.read("log/TelephonyErrorLog.txt").find("telephony_request_full"), std::string::npos);
    EXPECT_EQ(condition("N1"), "9");
}

TEST_F(HostEntry, TheUnansweredItemsStandInAnswersARegisteredSupplier) {
    ProgramRun r = runProgram({program(), "makeYetUnattend", kSupplierFax});
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(r.output, "0\t" + kSupplierFax + "\n");
    EXPECT_TRUE(eventually([&] {
        return fs::fileExists(home / "log/StandInTrace.txt") &&
               home.read("log/StandInTrace.txt").find("Wendrik started " + kSupplierFax) != std::string::npos;
    }));
}

TEST_F(HostEntry, AServingProcessHoldsItsMarkersAndDeletesThoseLeftWhenItEnds) {
    for (bool bySignal : {false, true}) {
        SCOPED_TRACE(bySignal ? "terminated" : "input ended");
        PipedProgram server(program(), {"--serve"});
        auto ask = [&](const std::string& request) -> std::string {
            if (!server.write(request)) return "(unsent)";
            return server.readLine().value_or("(no answer)");
        };

        std::string first = ask("RunTimeStart\n");
        auto markers = RunMarker::find(home.path());
        ASSERT_EQ(markers.size(), 1u) << first;
        EXPECT_EQ(markers[0].fileName, first + ".XML");
        EXPECT_TRUE(markers[0].live);  // held by the serving process
        EXPECT_EQ(ask("RunTimeStop\t" + first + "\n"), "\t" + first);
        EXPECT_TRUE(RunMarker::find(home.path()).empty());

        std::string left = ask("RunTimeStart\n");
        EXPECT_EQ(ask("checkFAXNo\t" + kSupplierFax + "\r\n"), "0\t" + kSupplierFax);
        ASSERT_EQ(RunMarker::find(home.path()).size(), 1u) << left;
        if (bySignal) {
            // Told to end while its host is still there.
            ASSERT_EQ(::kill(server.process().pid(), SIGTERM), 0);
        } else {
            server.closeInput();
        }
        EXPECT_EQ(waitForEnd(server.process()), 0);
        EXPECT_TRUE(RunMarker::find(home.path()).empty());
        EXPECT_TRUE(markerLocks(home.path()).empty());
    }
}

}  // namespace
}  // namespace fg::testing
