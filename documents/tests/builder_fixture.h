// A temporary installation with the demo home, a fixed clock, a recorded
// error log, and helpers to read back what the builders wrote.
#pragma once

#include "documents/quillary/fax_tran_xml.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/testing/local_time.h"
#include "platform/testing/temp_home.h"
#include "platform/xml.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fg::testing {

// 2024-01-15 10:20:30 local time: numbers read "20240115102030" + counter.
inline std::chrono::system_clock::time_point fixedTime() { return localTime(2024, 1, 15, 10, 20, 30); }
inline constexpr const char* kStamp = "20240115102030";

// One stored management record, its children by element name.
struct StoredRecord {
    std::map<std::string, std::string> fields;
    const std::string& operator[](const std::string& name) const {
        static const std::string empty;
        auto it = fields.find(name);
        return it == fields.end() ? empty : it->second;
    }
};

class BuilderTest : public ::testing::Test {
protected:
    BuilderTest() {
        clock_ = std::make_shared<ManualClock>(fixedTime());
        setClock(clock_);
        builder.beginBatch();
    }
    ~BuilderTest() override { setClock(nullptr); }

    std::string folder(const std::string& key) const { return home.folder(key); }
    std::string number(int counter) const {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d", counter);
        return std::string(kStamp) + buf;
    }
    void writeMessage(const std::string& name, const std::string& xml) const {
        fs::writeFileAtomic(folder("TempEDI") + name + ".xml", xml);
    }
    std::map<std::string, StoredRecord> records() const {
        std::map<std::string, StoredRecord> out;
        xml::Document store;
        EXPECT_TRUE(store.load(folder("FaxManageNum") + "FAXManageNumber.xml"));
        for (const auto& r : store.getElementsByTagName("FAXManageNum")) {
            StoredRecord rec;
            for (auto c = r.firstChild(); c; c = c.nextSibling()) rec.fields[c.nodeName()] = c.text();
            out[rec["RepManageNo"]] = rec;
        }
        return out;
    }
    xml::Document loadSent(const std::string& name, bool preserve = false) const {
        xml::Document d;
        d.setPreserveWhiteSpace(preserve);
        EXPECT_TRUE(d.load(folder("FaxSendXML") + name + ".xml")) << name;
        return d;
    }
    bool sentExists(const std::string& name) const { return fs::fileExists(folder("FaxSendXML") + name + ".xml"); }
    std::vector<std::string> sentFiles() const { return fs::list(folder("FaxSendXML"), "*.xml"); }
    std::vector<ErrorLogEntry> errors() const { return log.log->entries(); }
    bool logged(long number, const std::string& source, const std::string& description) const {
        for (const auto& e : errors())
            if (e.number == number && e.source == source && e.description == description) return true;
        return false;
    }

    TempHome home;
    ErrorLogGuard log;
    std::shared_ptr<ManualClock> clock_;
    FaxTranXml builder;
};

}  // namespace fg::testing
