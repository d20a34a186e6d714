// The registry tool against the file-backed registry store, through the
// registry program stand-in found on PATH.
#include "tools/errors.h"
#include "tools/registry_copy.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/message_sink.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fg {
namespace {

using Names = std::vector<std::string>;
using registry::RegistryStore;
using registry::Root;

const std::string kSeed = std::string(RegistryStore::kHeader) +
                          "\n"
                          "[HKEY_CURRENT_USER\\Software\\Microsoft\\SystemCertificates\\My\\Certificates\\AB12]\n"
                          "\"Blob\"=hex:01,02\n"
                          "[HKEY_CURRENT_USER\\Software\\Microsoft\\SystemCertificates\\Root]\n"
                          "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings]\n"
                          "\"ProxyEnable\"=dword:00000001\n"
                          "\"Zones\"=\"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\"\n"
                          "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3]\n"
                          "\"1200\"=dword:00000003\n"
                          "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\Old\\Deeper\\Deepest]\n"
                          "\"stale\"=\"1\"\n"
                          "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Other]\n"
                          "\"keep\"=\"1\"\n"
                          "[HKEY_USERS\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Stale]\n";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

class RegistryCopy : public ::testing::Test {
protected:
    RegistryCopy() {
        setMessageSink(messages);
        if (const char* p = std::getenv("PATH")) path_ = p;
        // The stand-in of the registry program is found on PATH, before any other.
        ::setenv("PATH", (testing::programDir() + ":" + path_).c_str(), 1);
        store.importText(kSeed);
    }
    ~RegistryCopy() override {
        ::setenv("PATH", path_.c_str(), 1);
        setMessageSink(nullptr);
    }
    std::string exported(const std::string& key) { return store.exportKey(key).value_or(""); }
    Names shown() const {
        Names out;
        for (const auto& m : messages->shown()) out.push_back(m.title + ": " + m.prompt);
        return out;
    }
    // A registry program that runs `exportOf` in place of the export of the
    // key whose path holds `key`, and `importOf` before any import; the
    // stand-in does the rest.
    RegistryCopyOptions misbehaving(const std::string& key, const std::string& exportOf, const std::string& importOf = ":") {
        home.write("regedit", "#!/bin/sh\ncase \"$1\" in\n/E) case \"$3\" in *'" + key + "'*) " + exportOf +
                                  " ;; esac ;;\n*) " + importOf + " ;;\nesac\nexec '" + testing::programDir() +
                                  "regedit' \"$@\"\n");
        EXPECT_EQ(::chmod((home / "regedit").c_str(), 0755), 0);
        RegistryCopyOptions options;
        options.regeditPath = home / "regedit";
        return options;
    }

    testing::TempHome home{false};
    testing::ErrorLogGuard log;
    std::shared_ptr<RecordingMessageSink> messages = std::make_shared<RecordingMessageSink>();
    RegistryStore store;
    std::string path_;
};

TEST_F(RegistryCopy, CopiesBothKeysOverTheirTargets) {
    home.write(Form1::kCertificateFile, "left by an earlier run");
    const std::string certificates = exported(Form1::kCertificateSource);
    const std::string settings = exported(Form1::kSettingsSource);

    Form1 form;
    EXPECT_TRUE(form.Form_Load());
    EXPECT_EQ(shown(), Names{});

    // Each target is the source's copy: the stale sub-keys are gone, every
    // level of them, and the path in value data moved with the keys.
    EXPECT_EQ(exported(Form1::kCertificateTarget),
              replaced(certificates, Form1::kCertificateSource, Form1::kCertificateTarget));
    EXPECT_EQ(exported(Form1::kSettingsTarget), replaced(settings, Form1::kSettingsSource, Form1::kSettingsTarget));
    EXPECT_NE(exported(Form1::kSettingsTarget).find("\"Zones\"=\"HKEY_USERS\\.Default\\"), std::string::npos);
    EXPECT_EQ(store.subKeys(Root::LocalMachine, "Software\\Microsoft\\SystemCertificates"), (Names{"My", "Root"}));
    // Nothing else changes.
    EXPECT_EQ(exported(Form1::kCertificateSource), certificates);
    EXPECT_EQ(exported(Form1::kSettingsSource), settings);
    EXPECT_EQ(exported("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Other"),
              std::string(RegistryStore::kHeader) + "\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Other]\r\n\"keep\"=\"1\"\r\n\r\n");

    // The joined import file stays; the working export is gone.
    EXPECT_FALSE(fs::fileExists(home / Form1::kCertificateFile));
    std::string joined = home.read(Form1::kSettingsFile);
    EXPECT_EQ(joined.find("HKEY_CURRENT_USER"), std::string::npos);
    EXPECT_LT(joined.find("[HKEY_USERS\\.Default\\"), joined.find("[HKEY_LOCAL_MACHINE\\"));
    const std::string head = std::string(RegistryStore::kHeader) + "\r\n\r\n";
    EXPECT_EQ(joined.substr(0, head.size()), head);
    EXPECT_EQ(joined.substr(joined.size() - 4), "\r\n\r\n");

    // A second run gives the same registry, also when a target is missing,
    // and from another program folder with the store named from the working
    // folder: the registry program works on the same file as the deletions.
    std::string once = fs::readFile(store.path());
    Form1().deleteKeyTree(Root::LocalMachine, "Software\\Microsoft\\SystemCertificates");
    ASSERT_FALSE(store.subKeys(Root::LocalMachine, "Software\\Microsoft\\SystemCertificates"));
    fs::makeFolders(home / "program");
    RegistryCopyOptions elsewhere;
    elsewhere.programFolder = home / "program";
    elsewhere.storePath = RegistryStore::kFileName;
    const std::string working = fs::currentFolder();
    ASSERT_EQ(::chdir(home.path().c_str()), 0);
    EXPECT_TRUE(Form1(elsewhere).Form_Load()) << (shown().empty() ? "" : shown().back());
    ASSERT_EQ(::chdir(working.c_str()), 0);
    EXPECT_EQ(fs::readFile(store.path()), once);
    EXPECT_FALSE(fs::fileExists(home / "program/" + RegistryStore::kFileName));
}

TEST_F(RegistryCopy, AFailedExportLeavesTheTargetsAsTheyWere) {
    struct Case {
        const char* what;
        std::string missingKey;  // deleted from the seed
        std::string path;        // PATH
        long error;
    } cases[] = {
        {"no certificate key", "HKEY_CURRENT_USER\\Software\\Microsoft\\SystemCertificates", "", tools_errors::RegistryCopyFailed},
        {"no Internet settings key", "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "",
         tools_errors::RegistryCopyFailed},
        {"no registry program", "", "/nonexistent", errnum::FileNotFound},
    };
    for (const Case& c : cases) {
        (void)fs::removeFile(store.path());
        store.importText(kSeed);
        if (!c.missingKey.empty()) Form1().deleteKeyTree(Root::CurrentUser, c.missingKey.substr(c.missingKey.find('\\') + 1));
        if (!c.path.empty()) ::setenv("PATH", c.path.c_str(), 1);
        // Files of an earlier, successful run would pass for this run's exports.
        home.write(Form1::kSettingsFile, kSeed);
        home.write(Form1::kCertificateFile, kSeed);
        const std::string before = fs::readFile(store.path());
        log.log->clear();

        EXPECT_FALSE(Form1().Form_Load()) << c.what;
        EXPECT_EQ(shown().back(), "registry_copy: 処理中にエラーが発生しました。") << c.what;
        EXPECT_EQ(messages->shown().back().style, msgbox::OKOnly | msgbox::Exclamation);
        EXPECT_TRUE(log.log->has(c.error)) << c.what;
        EXPECT_EQ(fs::readFile(store.path()), before) << c.what;
        ::setenv("PATH", (testing::programDir() + ":" + path_).c_str(), 1);
    }
}

TEST_F(RegistryCopy, AnExportThatBringsNothingBackLeavesTheTargets) {
    // Each export goes through with exit code 0 but leaves nothing that
    // would give the deleted targets back; the earlier run's files lie in
    // the folder all the same.
    struct Case {
        const char* what;
        const char* key;
        std::string exportOf;
    } cases[] = {
        {"writes nothing", "Internet Settings", "exit 0"},
        {"writes an empty file", "SystemCertificates", ": > \"$2\"; exit 0"},
        {"writes another key", "SystemCertificates",
         "exec '" + testing::programDir() + "regedit' /E \"$2\" 'HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Other'"},
        {"never ends", "Internet Settings", "exec sleep 600"},
        {"writes a line no import takes", "SystemCertificates",
         "printf '%s\\r\\n' '" + std::string(RegistryStore::kHeader) +
             "' '[HKEY_CURRENT_USER\\Software\\Microsoft\\SystemCertificates]' '\"v\"=dword:1' > \"$2\"; exit 0"},
    };
    const std::string before = fs::readFile(store.path());
    for (const Case& c : cases) {
        home.write(Form1::kSettingsFile, kSeed);
        home.write(Form1::kCertificateFile, kSeed);
        log.log->clear();
        RegistryCopyOptions options = misbehaving(c.key, c.exportOf);
        options.programBound = std::chrono::milliseconds(300);
        EXPECT_FALSE(Form1(options).Form_Load()) << c.what;
        EXPECT_EQ(shown().back(), "registry_copy: 処理中にエラーが発生しました。") << c.what;
        EXPECT_TRUE(log.log->has(tools_errors::RegistryCopyFailed)) << c.what;
        EXPECT_EQ(fs::readFile(store.path()), before) << c.what;
    }
}

TEST_F(RegistryCopy, TheRegistryProgramFailsWithoutChangingTheStore) {
    const std::string regedit = testing::programDir() + "regedit";
    home.write("half.reg", std::string(RegistryStore::kHeader) + "\r\n[HKEY_LOCAL_MACHINE\\Software\\New]\r\n\"v\"=dword:1\r\n");
    const std::string before = fs::readFile(store.path());
    struct Case {
        Names args;
        int exitCode;
    } cases[] = {
        {{"/E", home / "out.reg", "HKEY_CURRENT_USER\\Software\\Nowhere"}, 1},
        {{"/E", home / "out.reg", "Software\\Microsoft"}, 1},  // no root
        {{home / "half.reg"}, 1},                               // a short dword: none of it merged
        {{"/S", home / "missing.reg"}, 1},
        {{"/E", home / "out.reg"}, 2},
        {{}, 2},
    };
    for (const Case& c : cases) {
        Names command{regedit};
        command.insert(command.end(), c.args.begin(), c.args.end());
        testing::ProgramRun run = testing::runProgram(command);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.errors;
        EXPECT_FALSE(fs::fileExists(home / "out.reg"));
        EXPECT_EQ(fs::readFile(store.path()), before);
    }
}

TEST_F(RegistryCopy, AFailedImportIsReportedAndItsFileKept) {
    // A registry program that exports but cannot import.
    RegistryCopyOptions options = misbehaving("", ":", "exit 4");
    const std::string certificates = exported(Form1::kCertificateTarget);
    const std::string settings = exported(Form1::kSettingsTarget);
    EXPECT_FALSE(Form1(options).Form_Load());
    // The targets were put back as they were.
    EXPECT_EQ(exported(Form1::kCertificateTarget), certificates);
    EXPECT_EQ(exported(Form1::kSettingsTarget), settings);
    EXPECT_EQ(shown(), Names{"registry_copy: 処理中にエラーが発生しました。"});
    ASSERT_FALSE(log.log->entries().empty());
    EXPECT_EQ(log.log->entries().back().number, tools_errors::RegistryCopyFailed);
    EXPECT_NE(log.log->entries().back().description.find("終了コード 4"), std::string::npos);
    // The joined file is there to be imported again.
    EXPECT_NE(home.read(Form1::kSettingsFile).find("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates]"),
              std::string::npos);
}

TEST_F(RegistryCopy, AWrapperThatFailsSaysWhoAndStopsTheRun) {
    fs::writeFileAtomic(store.path(), "<broken");
    Names names;
    long count = 0;
    struct Case {
        const char* wrapper;
        std::function<void()> call;
    } cases[] = {
        {"RegistryEnumerateSubKeys",
         [&] { modRegistry::RegistryEnumerateSubKeys(store, Root::LocalMachine, "Software", names, count); }},
        {"RegistryDeleteKey", [&] { modRegistry::RegistryDeleteKey(store, Root::LocalMachine, "Software"); }},
    };
    for (const Case& c : cases) {
        EXPECT_THROW(c.call(), Error) << c.wrapper;
        ASSERT_FALSE(messages->shown().empty());
        EXPECT_EQ(messages->shown().back().title, c.wrapper);
        EXPECT_EQ(messages->shown().back().prompt.rfind("Error: 75. ", 0), 0u) << messages->shown().back().prompt;
    }
    EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace fg
