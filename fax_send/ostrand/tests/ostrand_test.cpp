#include "fax_send/ostrand/ostrand.h"

#include "platform/error.h"
#include "platform/fax_engine/fax_engine_loader.h"
#include "platform/fax_engine/recording_fax_engine.h"
#include "platform/message_sink.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <functional>

namespace fg {
namespace {

using fax::EntryPoint;
using fax::RecordingFaxEngine;
using Calls = std::vector<std::string>;
namespace rc = OstrandResultCode;

class OstrandWithFakeEngine : public ::testing::Test {
protected:
    void SetUp() override {
        fax::FaxEngineLoader::setFactory([this](const std::string& name, long& error) -> std::shared_ptr<fax::FaxEngine> {
            libraryAsked = name;
            if (!loadable) {
                error = 126;
                return nullptr;
            }
            return engine;
        });
        setMessageSink(messages);
    }
    void TearDown() override {
        fax::FaxEngineLoader::setFactory(nullptr);
        setMessageSink(nullptr);
    }
    // Polls as the fax-send server does, but with a bound.
    void collect(Ostrand& c, std::int16_t& result) {
        std::int16_t code = rc::StillRunning;
        testing::eventually([&] { return c.GetResult(result, code), code != rc::StillRunning; });
        ASSERT_EQ(code, rc::Done);
    }

    std::shared_ptr<RecordingFaxEngine> engine = std::make_shared<RecordingFaxEngine>();
    std::shared_ptr<RecordingMessageSink> messages = std::make_shared<RecordingMessageSink>();
    testing::ErrorLogGuard log;
    bool loadable = true;
    std::string libraryAsked;
};

TEST_F(OstrandWithFakeEngine, ANewControlHoldsItsInitialValues) {
    Ostrand c;
    EXPECT_EQ(libraryAsked, "Skelmar.dll");
    EXPECT_EQ(c.ModemInitString(), "ATZ");
    EXPECT_EQ(c.CommPort(), 1);
    EXPECT_EQ(c.Stretch(), 3);
    EXPECT_EQ(c.ShrinkHeight(), 1145);
    EXPECT_EQ(c.ShrinkWidth(), 864);
    EXPECT_EQ(c.BitRate(), 5);
    for (std::int32_t v : {c.LastFaxError(), c.LineType(), c.ModemClass(), c.Resolution(), c.ThreadPriority(),
                           c.TraceOption(), c.Shrink()})
        EXPECT_EQ(v, 0);
    for (std::int16_t v : {c.Pages(), c.AutoOpen(), c.FaxInfoOption(), c.ScanTime()}) EXPECT_EQ(v, 0);
    EXPECT_EQ(c.LocalID(), "");
    EXPECT_EQ(c.TraceFileName(), "");
    EXPECT_TRUE(engine->calls().empty());  // creation alone calls nothing
    EXPECT_TRUE(messages->shown().empty());
}

TEST_F(OstrandWithFakeEngine, OutOfRangeAndReadOnlyPutsAreRefusedAndChangeNothing) {
    Ostrand c;
    struct Case {
        const char* what;
        std::function<void(Ostrand&)> put;
        long number;
    } cases[] = {
        {"ThreadPriority 3", [](Ostrand& o) { o.setThreadPriority(3); }, 380},
        {"ThreadPriority -3", [](Ostrand& o) { o.setThreadPriority(-3); }, 380},
        {"Stretch 6", [](Ostrand& o) { o.setStretch(6); }, 380},
        {"Stretch -1", [](Ostrand& o) { o.setStretch(-1); }, 380},
        {"Shrink 4", [](Ostrand& o) { o.setShrink(4); }, 380},
        {"ShrinkHeight 0", [](Ostrand& o) { o.setShrinkHeight(0); }, 380},
        {"ShrinkHeight -1", [](Ostrand& o) { o.setShrinkHeight(-1); }, 380},
        {"ShrinkWidth 0", [](Ostrand& o) { o.setShrinkWidth(0); }, 380},
        {"ShrinkWidth -1", [](Ostrand& o) { o.setShrinkWidth(-1); }, 380},
        {"LastFaxError", [](Ostrand& o) { o.setLastFaxError(1); }, 383},
        {"HangupCode", [](Ostrand& o) { o.setHangupCode(1); }, 383},
        {"CommID", [](Ostrand& o) { o.setCommID(1); }, 383},
        {"RemoteID", [](Ostrand& o) { o.setRemoteID("x"); }, 383},
        {"NumOfPagesSent", [](Ostrand& o) { o.setNumOfPagesSent(1); }, 383},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        try {
            k.put(c);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), k.number);
        }
    }
    EXPECT_EQ(c.ThreadPriority(), 0);
    EXPECT_EQ(c.Stretch(), 3);
    EXPECT_EQ(c.Shrink(), 0);
    EXPECT_EQ(c.ShrinkHeight(), 1145);
    EXPECT_EQ(c.ShrinkWidth(), 864);
    EXPECT_TRUE(engine->calls().empty());

    for (int p : {-15, -2, -1, 0, 1, 2, 15}) {
        c.setThreadPriority(p);
        EXPECT_EQ(c.ThreadPriority(), p);
    }
    c.setStretch(0);
    c.setStretch(5);
    c.setShrink(3);
    c.setShrinkHeight(1);
    EXPECT_EQ(c.Stretch(), 5);
    EXPECT_EQ(c.Shrink(), 3);
    EXPECT_EQ(c.ShrinkHeight(), 1);
    // Values without a range are stored as they come.
    c.setCommPort(99);
    c.setModemClass(-7);
    EXPECT_EQ(c.CommPort(), 99);
    EXPECT_EQ(c.ModemClass(), -7);
}

TEST_F(OstrandWithFakeEngine, PutsForwardToTheEngineOnlyInRunModeAndOnlyWhenTheyShould) {
    struct Case {
        const char* what;
        std::function<void(Ostrand&)> put;
        Calls runMode;
        bool notifies;
    } cases[] = {
        {"LineType changed", [](Ostrand& o) { o.setLineType(1); }, {"SetLineType(0, 1)"}, false},
        {"LineType unchanged", [](Ostrand& o) { o.setLineType(0); }, {}, false},
        {"TraceOption changed", [](Ostrand& o) { o.setTraceOption(2); }, {"SetTraceOption(2)"}, false},
        {"TraceOption unchanged", [](Ostrand& o) { o.setTraceOption(0); }, {}, false},
        {"TraceFileName on every put",
         [](Ostrand& o) {
             o.setTraceFileName("/tmp/t.txt");
             o.setTraceFileName("/tmp/t.txt");
         },
         {"SetTraceFileName(/tmp/t.txt)", "SetTraceFileName(/tmp/t.txt)"},
         false},
        {"FaxInfoOption True", [](Ostrand& o) { o.setFaxInfoOption(-1); }, {"SetFaxInfoOption(1)"}, false},
        {"FaxInfoOption 1 is not True", [](Ostrand& o) { o.setFaxInfoOption(1); }, {"SetFaxInfoOption(0)"}, false},
        {"ScanTime changed", [](Ostrand& o) { o.setScanTime(3); }, {"SetScanTime(0, 3)"}, false},
        {"BitRate unchanged", [](Ostrand& o) { o.setBitRate(5); }, {}, false},
        {"BitRate changed", [](Ostrand& o) { o.setBitRate(3); }, {"SetBitRate(0, 3)"}, false},
        {"stored only",
         [](Ostrand& o) {
             o.setModemClass(2);
             o.setResolution(1);
             o.setCommPort(4);
             o.setPages(3);
             o.setAutoOpen(-1);
             o.setStretch(5);
             o.setShrink(1);
             o.setThreadPriority(1);
         },
         {},
         false},
        {"ModemInitString", [](Ostrand& o) { o.setModemInitString("AT&F"); }, {}, true},
        {"LocalID", [](Ostrand& o) { o.setLocalID("1234"); }, {}, true},
        {"ShrinkHeight", [](Ostrand& o) { o.setShrinkHeight(500); }, {}, true},
        {"ShrinkWidth", [](Ostrand& o) { o.setShrinkWidth(500); }, {}, true},
    };
    for (bool runMode : {true, false}) {
        for (const auto& k : cases) {
            SCOPED_TRACE(std::string(k.what) + (runMode ? " (run mode)" : " (design mode)"));
            engine->clearCalls();
            Ostrand c;
            c.setUserMode(runMode);
            std::vector<std::int32_t> notified;
            c.addPropertyNotifySink([&](std::int32_t dispid) { notified.push_back(dispid); });
            k.put(c);
            EXPECT_EQ(engine->calls(), runMode ? k.runMode : Calls{});
            EXPECT_EQ(notified, k.notifies ? std::vector<std::int32_t>{0} : std::vector<std::int32_t>{});
        }
    }
    // The handle goes with a forwarded put as it was last written.
    Ostrand c;
    engine->handleToGive = 42;
    std::int16_t code = 0;
    c.PortOpen(code);
    c.PortClose(code);
    engine->clearCalls();
    c.setBitRate(4);
    EXPECT_EQ(engine->calls(), Calls{"SetBitRate(42, 4)"});
}

TEST_F(OstrandWithFakeEngine, ReadsThatAskTheEngine) {
    engine->hangupCode = 0x52;
    engine->commHandle = 9;
    engine->remoteId = text::toCp932("東京03");
    engine->pagesSent = 2;
    for (bool runMode : {true, false}) {
        SCOPED_TRACE(runMode ? "run mode" : "design mode");
        Ostrand c;
        c.setUserMode(runMode);
        EXPECT_EQ(c.HangupCode(), 0x52);  // in any mode
        EXPECT_EQ(c.CommID(), 9);
        EXPECT_EQ(c.RemoteID(), runMode ? "東京03" : "");
        EXPECT_EQ(c.NumOfPagesSent(), runMode ? 2 : 0);
    }
    // A remote ID the engine does not vouch for gives no value.
    engine->setResult(EntryPoint::GetRemoteID, 5);
    Ostrand c;
    EXPECT_EQ(c.RemoteID(), "");
}

TEST_F(OstrandWithFakeEngine, PortOpenHandsOverTheSettingsAfterASuccessfulOpenOnly) {
    Ostrand c;
    c.setTraceOption(1);
    c.setTraceFileName("c:\\SendTrace.txt");
    c.setCommPort(3);
    c.setModemInitString("ATZ&F");
    c.setResolution(1);
    c.setModemClass(2);
    c.setLineType(1);
    c.setLocalID("1234");
    engine->clearCalls();
    std::int16_t pVal = -1;
    c.PortOpen(pVal);
    EXPECT_EQ(pVal, 0);
    EXPECT_EQ(engine->calls(), (Calls{"SetTraceOption(1)", "SetTraceFileName(c:\\SendTrace.txt)", "PortOpen(3, ATZ&F)",
                                      "SetResolution(7, 1)", "SetModemClass(7, 2)", "SetLineType(7, 1)",
                                      "SetLocalID(7, 1234)"}));

    engine->clearCalls();
    engine->setResult(EntryPoint::PortOpen, 2);
    c.PortOpen(pVal);
    EXPECT_EQ(pVal, 2);
    EXPECT_EQ(engine->callNames(), (Calls{"SetTraceOption", "SetTraceFileName", "PortOpen"}));

    engine->clearCalls();
    engine->setResult(EntryPoint::PortClose, 4);
    c.PortClose(pVal);
    EXPECT_EQ(pVal, 4);
    EXPECT_EQ(engine->calls(), Calls{"PortClose(7)"});

    engine->ringStatus = 1;
    engine->setResult(EntryPoint::WaitForRing, 0);
    std::int16_t status = 0, code = -1;
    c.WaitForRing(status, code);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(code, 0);
}

TEST_F(OstrandWithFakeEngine, ImageOperationsPushTheirSettingsFirst) {
    Ostrand c;
    c.setStretch(0);
    c.setShrink(3);
    c.setShrinkHeight(600);
    c.setShrinkWidth(800);
    engine->sizeColumns = 1728;
    engine->sizeRows = 2291;
    engine->setResult(EntryPoint::G3ToBmp, 6);
    std::int16_t code = -1;
    c.BmpToG3("/w/a.bmp", "/w/a.g3", code);
    EXPECT_EQ(code, 0);
    c.G3ToBmp("/w/a.g3", "/w/b.bmp", code);
    EXPECT_EQ(code, 6);  // the engine's own code, unchanged
    std::int32_t cols = 0, rows = 0;
    c.GetG3Size("/w/a.g3", cols, rows, code);
    EXPECT_EQ(cols, 1728);
    EXPECT_EQ(rows, 2291);
    c.GetBmpSize("/w/a.bmp", cols, rows, code);
    EXPECT_EQ(engine->calls(),
              (Calls{"SetStretchOption(0)", "BmpToG3(/w/a.bmp, /w/a.g3)", "SetShrinkOption(3)", "SetShrinkHeight(600)",
                     "SetShrinkWidth(800)", "G3ToBmp(/w/a.g3, /w/b.bmp)", "GetG3Size(/w/a.g3)", "GetBmpSize(/w/a.bmp)"}));
}

TEST_F(OstrandWithFakeEngine, GetResultFollowsTheWorkerThroughItsStates) {
    engine->holdCalls = true;
    engine->setResult(EntryPoint::SendFax, 12);
    Ostrand c;
    std::int16_t result = -1, code = -1;
    c.GetResult(result, code);
    EXPECT_EQ(code, rc::NothingToReport);
    EXPECT_EQ(result, 0);

    c.setPages(3);
    c.SendFax("0311112222", "/w/20260101120000.G3", code);
    EXPECT_EQ(code, rc::Done);
    engine->waitForCalls(1);
    c.GetResult(result, code);
    EXPECT_EQ(code, rc::StillRunning);
    EXPECT_EQ(result, 0);
    c.setPages(9);
    c.SendFax("0399999999", "/w/other.G3", code);
    EXPECT_EQ(code, rc::Busy);
    EXPECT_EQ(c.Pages(), 9);
    EXPECT_EQ(c.LastFaxError(), 0);

    engine->release();
    collect(c, result);
    EXPECT_EQ(result, 12);
    EXPECT_EQ(c.Pages(), 3);  // the count that was sent
    c.GetResult(result, code);
    EXPECT_EQ(code, rc::NothingToReport);
    EXPECT_EQ(engine->calls(), Calls{"SendFax(0, 0311112222, /w/20260101120000.G3, 3)"});

    // A receive leaves the engine's page count in Pages.
    engine->pagesReceived = 4;
    c.ReceiveFax("/w/in.G3", code);
    EXPECT_EQ(code, rc::Done);
    engine->release();
    collect(c, result);
    EXPECT_EQ(c.Pages(), 4);
    EXPECT_EQ(engine->calls().back(), "ReceiveFax(0, /w/in.G3, 0)");
}

TEST_F(OstrandWithFakeEngine, AForgottenWorkerKeepsItsOwnJob) {
    engine->holdCalls = true;
    Ostrand c;
    std::int16_t result = -1, code = -1;
    engine->setResult(EntryPoint::SendFax, 11);
    c.SendFax("111", "/w/a.G3", code);
    engine->waitForCalls(1);
    c.PortOpen(code);  // forgets the first send; it goes on
    c.GetResult(result, code);
    EXPECT_EQ(code, rc::NothingToReport);

    engine->setResult(EntryPoint::SendFax, 0);
    c.SendFax("222", "/w/b.G3", code);
    EXPECT_EQ(code, rc::Done);
    engine->waitForCalls(2);
    engine->release();  // the first send ends with 11; it must not show
    ASSERT_TRUE(engine->waitForAnswers(1));
    c.GetResult(result, code);
    EXPECT_EQ(code, rc::StillRunning);
    engine->release();
    collect(c, result);
    EXPECT_EQ(result, 0);

    // A close during a send: the next GetResult has nothing to report.
    c.SendFax("333", "/w/c.G3", code);
    engine->waitForCalls(3);
    c.PortClose(code);
    c.GetResult(result, code);
    EXPECT_EQ(code, rc::NothingToReport);
}

TEST_F(OstrandWithFakeEngine, TextsAreHandedOverWholeOrRefusedWhole) {
    Ostrand c;
    std::int16_t result = -1, code = -1;
    const std::string name259 = "/" + std::string(254, 'a') + ".G3x";
    const std::string name260 = name259 + "y";
    const std::string phone63(63, '9');
    const std::string japanese = "/" + std::string(1, 'a') + [] {
        std::string s;
        for (int i = 0; i < 128; ++i) s += "図";  // two bytes each in code page 932
        return s;
    }();  // 1 + 1 + 256 = 258 bytes
    ASSERT_EQ(text::cp932Length(japanese), 258u);

    c.SendFax(phone63, name259, code);
    ASSERT_EQ(code, rc::Done);
    collect(c, result);
    EXPECT_EQ(engine->calls().back(), "SendFax(0, " + phone63 + ", " + name259 + ", 0)");
    c.SendFax("0311112222", japanese, code);
    ASSERT_EQ(code, rc::Done);
    collect(c, result);
    EXPECT_EQ(engine->calls().back(), "SendFax(0, 0311112222, " + text::toCp932(japanese) + ", 0)");

    struct Case {
        const char* what;
        std::string phone, file;
    } refused[] = {
        {"file name of 260 bytes", "0311112222", name260},
        {"phone number of 64 bytes", phone63 + "9", "/w/a.G3"},
        {"a character code page 932 lacks", "0311112222", "/w/\xF0\x9F\x93\xA0.G3"},
    };
    for (const auto& k : refused) {
        SCOPED_TRACE(k.what);
        engine->clearCalls();
        log.log->clear();
        c.SendFax(k.phone, k.file, code);
        EXPECT_EQ(code, rc::TextRefused);
        EXPECT_TRUE(engine->calls().empty());
        EXPECT_TRUE(log.log->has(rc::TextRefused));
        // The poller learns of the failure instead of waiting for ever.
        c.GetResult(result, code);
        EXPECT_EQ(code, rc::Done);
        EXPECT_EQ(result, rc::TextRefused);
        c.GetResult(result, code);
        EXPECT_EQ(code, rc::NothingToReport);
    }

    engine->clearCalls();
    c.BmpToG3(name260, "/w/a.g3", code);
    EXPECT_EQ(code, rc::TextRefused);
    c.setModemInitString(std::string(1024, 'A'));
    c.PortOpen(code);
    EXPECT_EQ(code, rc::TextRefused);
    EXPECT_TRUE(engine->calls().empty());
}

TEST_F(OstrandWithFakeEngine, WithoutItsEngineTheControlStillHoldsSettingsAndFailsItsOperations) {
    loadable = false;
    Ostrand c;
    ASSERT_EQ(messages->shown().size(), 1u);
    EXPECT_EQ(messages->shown()[0].prompt, "SKM001 Skelmar.dllがロードできません。(126)");
    c.setLineType(1);
    c.setTraceFileName("/tmp/x");
    EXPECT_EQ(c.LineType(), 1);
    EXPECT_EQ(c.HangupCode(), 0);
    EXPECT_EQ(c.RemoteID(), "");
    std::int16_t result = -1, code = -1;
    c.PortOpen(code);
    EXPECT_EQ(code, rc::EngineMissing);
    c.BmpToG3("/a.bmp", "/a.g3", code);
    EXPECT_EQ(code, rc::EngineMissing);
    c.SendFax("0311112222", "/w/a.G3", code);
    EXPECT_EQ(code, rc::EngineMissing);
    c.GetResult(result, code);
    EXPECT_EQ(code, rc::Done);
    EXPECT_EQ(result, rc::EngineMissing);
}

TEST_F(OstrandWithFakeEngine, AnOperationNeedsEveryEntryPointItCalls) {
    engine->setMissing(EntryPoint::SetStretchOption);
    engine->setMissing(EntryPoint::SetLocalID);
    Ostrand c;
    std::int16_t code = -1;
    c.BmpToG3("/a.bmp", "/a.g3", code);
    EXPECT_EQ(code, rc::EngineMissing);
    c.PortOpen(code);
    EXPECT_EQ(code, rc::EngineMissing);
    c.G3ToBmp("/a.g3", "/a.bmp", code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(engine->callNames(), (Calls{"SetShrinkOption", "SetShrinkHeight", "SetShrinkWidth", "G3ToBmp"}));
}

TEST_F(OstrandWithFakeEngine, TheWindowOpensAndClosesThePortWithItsMessages) {
    struct Case {
        const char* what;
        bool runMode;
        std::int16_t autoOpen;
        std::int16_t openCode, closeCode;
        Calls calls;
        std::vector<std::string> messages;
    } cases[] = {
        {"auto-open, both fail", true, VariantTrue, 2, 3, {"PortOpen", "PortClose"},
         {"SKM002 ポートのオープンに失敗しました(2)", "SKM003 ポートのクローズに失敗しました。(3)"}},
        {"auto-open, both succeed", true, 1, 0, 0, {"PortOpen", "PortClose"}, {}},
        {"no auto-open: still closed, silently", true, VariantFalse, 0, -5, {"PortClose"}, {}},
        {"design mode", false, VariantTrue, 2, 3, {}, {}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        engine = std::make_shared<RecordingFaxEngine>();
        messages = std::make_shared<RecordingMessageSink>();
        setMessageSink(messages);
        engine->setResult(EntryPoint::PortOpen, k.openCode);
        engine->setResult(EntryPoint::PortClose, k.closeCode);
        {
            Ostrand c;
            c.setUserMode(k.runMode);
            c.setAutoOpen(k.autoOpen);
            c.createWindow();
        }
        Calls names;
        for (const auto& n : engine->callNames())
            if (n == "PortOpen" || n == "PortClose") names.push_back(n);
        EXPECT_EQ(names, k.calls);
        std::vector<std::string> shown;
        for (const auto& m : messages->shown()) shown.push_back(m.prompt);
        EXPECT_EQ(shown, k.messages);
    }
}

TEST_F(OstrandWithFakeEngine, ReleasingTheControlHangsUpARunningSend) {
    engine->holdCalls = true;
    {
        Ostrand c;
        c.setUserMode(false);  // no window close: the hang-up comes from the release itself
        std::int16_t code = -1;
        c.SendFax("0311112222", "/w/a.G3", code);
        engine->waitForCalls(1);
    }
    EXPECT_EQ(engine->callNames().back(), "PortClose");
}

}  // namespace
}  // namespace fg
