#include "platform/registry/registry_store.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/testing/error_of.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace fg::registry {
namespace {

using testing::errorOf;
using testing::TempDir;
using Names = std::vector<std::string>;

const std::string kHead = std::string(RegistryStore::kHeader) + "\r\n\r\n";

std::string reg(const std::string& body) { return std::string(RegistryStore::kHeader) + "\n\n" + body; }

TEST(RegistryStore, ExportsWhatWasImportedWithEveryValueForm) {
    TempDir dir;
    RegistryStore store(dir / "registry.xml");
    EXPECT_FALSE(store.exportKey("HKEY_CURRENT_USER\\Software"));  // an empty store
    store.importText(reg("[HKEY_CURRENT_USER\\Software\\Example]\n"
                         "@=\"default\"\n"
                         "\"Path\"=\"HKEY_CURRENT_USER\\Software\\Example\\Sub\"\n"
                         "\"Quo\\\"te\\\\d\"=\"say \"hi\"\"\n"
                         "\"Count\"=dword:0000002a\n"
                         "\"Bytes\"=hex:01,ff\n"
                         "\"Multi\"=hex(7):61,00,00,00\n"
                         "\"Empty\"=hex:\n"
                         "\n"
                         "[HKEY_CURRENT_USER\\Software\\Example\\Sub\\Deeper]\n"
                         "\"日本語\"=\"値\"\r\n"));
    EXPECT_EQ(store.exportKey("hkey_current_user\\Software\\Example"),
              kHead +
                  "[HKEY_CURRENT_USER\\Software\\Example]\r\n"
                  "@=\"default\"\r\n"
                  "\"Path\"=\"HKEY_CURRENT_USER\\Software\\Example\\Sub\"\r\n"
                  "\"Quo\\\"te\\\\d\"=\"say \"hi\"\"\r\n"
                  "\"Count\"=dword:0000002a\r\n"
                  "\"Bytes\"=hex:01,ff\r\n"
                  "\"Multi\"=hex(7):61,00,00,00\r\n"
                  "\"Empty\"=hex:\r\n"
                  "\r\n"
                  "[HKEY_CURRENT_USER\\Software\\Example\\Sub]\r\n"
                  "\r\n"
                  "[HKEY_CURRENT_USER\\Software\\Example\\Sub\\Deeper]\r\n"
                  "\"日本語\"=\"値\"\r\n"
                  "\r\n");
    // An export names the key as it was asked for, and re-imports as it is.
    std::string asked = store.exportKey("HKEY_CURRENT_USER\\SOFTWARE\\example\\sub").value();
    EXPECT_NE(asked.find("[HKEY_CURRENT_USER\\SOFTWARE\\example\\sub\\Deeper]"), std::string::npos);
    std::string before = fs::readFile(store.path());
    store.importText(store.exportKey("HKEY_CURRENT_USER\\Software").value());
    EXPECT_EQ(fs::readFile(store.path()), before);
}

TEST(RegistryStore, ImportMergesAndMatchesKeysWithoutCase) {
    TempDir dir;
    RegistryStore store(dir / "registry.xml");
    store.importText(reg("[HKEY_USERS\\.Default\\Settings]\n\"A\"=\"1\"\n\"B\"=\"2\"\n[HKEY_USERS\\.Default\\Settings\\Old]\n"));
    // A second header in the middle is passed over, as in a joined file.
    store.importText(reg("[HKEY_USERS\\.DEFAULT\\settings]\n\"a\"=\"one\"\n\"C\"=\"3\"\n") + "\r\n" +
                     reg("[HKEY_USERS\\.DEFAULT\\settings\\New]\n"));
    EXPECT_EQ(store.subKeys(Root::Users, ".default\\SETTINGS"), (Names{"Old", "New"}));
    EXPECT_EQ(store.subKeys(Root::Users, ""), (Names{".Default"}));
    EXPECT_EQ(store.exportKey("HKEY_USERS\\.Default\\Settings\\Old"), kHead + "[HKEY_USERS\\.Default\\Settings\\Old]\r\n\r\n");
    std::string text = store.exportKey("HKEY_USERS\\.Default\\Settings").value();
    EXPECT_NE(text.find("\"A\"=\"one\"\r\n\"B\"=\"2\"\r\n\"C\"=\"3\"\r\n"), std::string::npos) << text;
}

TEST(RegistryStore, DeletesOnlyKeysWithoutSubKeys) {
    TempDir dir;
    RegistryStore store(dir / "registry.xml");
    store.importText(reg("[HKEY_LOCAL_MACHINE\\Software\\Top\\Mid\\Leaf]\n\"v\"=\"x\"\n[HKEY_LOCAL_MACHINE\\Software\\Keep]\n"));
    struct Step {
        const char* path;
        bool deleted;
    } steps[] = {
        {"Software\\Top", false},       // has a sub-key
        {"Software\\Top\\Mid", false},  // so has this
        {"software\\top\\mid\\LEAF", true},
        {"Software\\Top\\Mid\\Leaf", false},  // gone already
        {"Software\\Top\\Mid", true},
        {"Software\\Top", true},
        {"", false},  // a root stays
    };
    for (const Step& s : steps) EXPECT_EQ(store.deleteKey(Root::LocalMachine, s.path), s.deleted) << s.path;
    EXPECT_EQ(store.subKeys(Root::LocalMachine, "Software"), (Names{"Keep"}));
    EXPECT_FALSE(store.subKeys(Root::LocalMachine, "Software\\Top"));
}

TEST(RegistryStore, TextItCannotReadChangesNothing) {
    TempDir dir;
    RegistryStore store(dir / "registry.xml");
    store.importText(reg("[HKEY_CURRENT_USER\\Software\\A]\n\"v\"=\"1\"\n"));
    std::string before = fs::readFile(store.path());
    const char* bad[] = {
        "[HKEY_CURRENT_USER\\Software\\A]\n\"v\"=\"2\"\n\"w\"=dword:12\n",      // short dword
        "[HKEY_CURRENT_USER\\Software\\B]\n\"v\"=hex:1,2\n",                     // bytes of one digit
        "[HKEY_CURRENT_USER\\Software\\B]\n\"v\"=\"open\n",                      // no closing quote
        "[HKEY_NOWHERE\\Software]\n",                                            // no such root
        "\"v\"=\"1\"\n",                                                         // a value before any key
        "[HKEY_CURRENT_USER\\Software\\B]\nv=1\n",                               // no name
    };
    for (const char* body : bad) {
        EXPECT_EQ(errorOf([&] { store.importText(reg(body)); }), errnum::InvalidProcedureCall) << body;
        EXPECT_EQ(fs::readFile(store.path()), before) << body;
    }
    // Without its header a file is no registry text at all.
    EXPECT_EQ(errorOf([&] { store.importText("[HKEY_CURRENT_USER\\Software\\B]\n"); }), errnum::InvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { store.importText(""); }), errnum::InvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { store.exportKey("Software\\A"); }), errnum::InvalidProcedureCall);

    fs::writeFileAtomic(store.path(), "<not a registry");
    EXPECT_EQ(errorOf([&] { store.subKeys(Root::CurrentUser, "Software"); }), errnum::PathFileAccessError);
    EXPECT_EQ(errorOf([&] { (void)store.deleteKey(Root::CurrentUser, "Software\\A"); }), errnum::PathFileAccessError);
}

}  // namespace
}  // namespace fg::registry
