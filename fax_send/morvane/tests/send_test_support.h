// Installation data for the fax-send tests: management records with their
// G3 pages, modem lines, the retry count, and readers for the send log and
// the simulated lines' outboxes.
#pragma once

#include "platform/fax_engine/g3_codec.h"
#include "platform/files.h"
#include "platform/testing/send_lines.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <map>
#include <string>
#include <vector>

namespace fg::testing {

struct ManageRecord {
    std::string number;
    std::string faxNumber;
    std::vector<std::string> pages;  // page names; the reference list holds the same
    std::string type = "納期確認書";
};

inline std::string sjisDocument(const std::string& body) {
    return text::toCp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n" + body);
}

inline void writeStore(const TempHome& home, const std::vector<ManageRecord>& records) {
    std::string body = "<FAXManageNums>";
    for (const auto& r : records) {
        std::string pages, refs;
        for (const auto& p : r.pages) {
            pages += "<FAXTempImageFileName>" + p + "</FAXTempImageFileName>";
            refs += "<FAXRefImageFileName>" + p + "</FAXRefImageFileName>";
        }
        body += "<FAXManageNum><SendDate>20240105093000</SendDate><RepManageNo>" + r.number + "</RepManageNo><RepType>" +
                r.type + "</RepType><FAXTempImageFileNames>" + pages + "</FAXTempImageFileNames><FAXRefImageFileNames>" +
                refs + "</FAXRefImageFileNames><FAXSendXMLFileNames/><ReceiveXMLFileName/><OrderCode>C01</OrderCode>"
                "<OrderName>発注元商事</OrderName><ReceiveCode>S01</ReceiveCode><SendCompanyName>受注者工業</SendCompanyName>"
                "<SendPostName>営業部</SendPostName><SendChargeName>担当者</SendChargeName><SendFAXNum>" +
                r.faxNumber + "</SendFAXNum><DecisionCondition>9</DecisionCondition><EnploymentMode>0</EnploymentMode>"
                "<PageNum>" + std::to_string(r.pages.size()) + "</PageNum><ReportConfirmNo/><OrderNumber/></FAXManageNum>";
    }
    fs::writeFileAtomic(home.folder("FaxManageNum") + "FAXManageNumber.xml", sjisDocument(body + "</FAXManageNums>"));
}

// A small G3 page that differs from every other page of the test by its name.
inline std::string g3Page(const std::string& name) {
    fax::BilevelImage page(fax::kFaxWidth, 64);
    unsigned h = 0;
    for (char c : name) h = h * 131 + static_cast<unsigned char>(c);
    for (int y = 8; y < 56; ++y)
        for (int x = 0; x < 24; ++x)
            if ((h >> (x % 24)) & 1)
                for (int k = 0; k < 16; ++k) page.setBlack(100 + x * 60 + k, y);
    return fax::encodeG3(page);
}

// Writes the pages into G3Image; answers name -> bytes.
inline std::map<std::string, std::string> writePages(const TempHome& home, const std::vector<ManageRecord>& records) {
    std::map<std::string, std::string> written;
    std::string g3 = home.folder("G3Image");
    for (const auto& r : records)
        for (const auto& p : r.pages) {
            written[p] = g3Page(p);
            fs::writeFileAtomic(g3 + p + ".G3", written[p]);
        }
    return written;
}

// Modem lines as "port*init*type*usefulness*pilot*number".
inline void writeModems(const TempHome& home, const std::vector<std::string>& lines) {
    std::string body = "<Modems>";
    for (const auto& line : lines) {
        std::vector<std::string> f = text::split(line, '*');
        body += "<Modem>";
        const char* names[] = {"PortNo", "InitString", "LineType", "Usefulness", "PilotFlag", "PilotFAXNumber"};
        for (std::size_t i = 0; i < f.size() && i < 6; ++i)
            body += std::string("<") + names[i] + ">" + f[i] + "</" + names[i] + ">";
        body += "</Modem>";
    }
    fs::writeFileAtomic(home.folder("ModemInfo") + "modeminformation.xml", sjisDocument(body + "</Modems>"));
}

inline void setRetries(const TempHome& home, const std::string& tries) {
    fs::writeFileAtomic(home.folder("SetupInfo") + "SetUpInformation.xml",
                        sjisDocument("<SetUpInfo><Session><FaxMakerCode/><EDIMakerCode/><EDIMakerName/><EDIAddress/>"
                                     "<ClientCertiKey/><EDIMethodRoot/></Session><FaxFunction><SendReTryNum>" +
                                     tries + "</SendReTryNum></FaxFunction><Execute><Condition>0</Condition></Execute>"
                                     "<Mail><SMTPServerName/><MailTo/><MailFrom/></Mail></SetUpInfo>"));
}

inline void setLine(const TempHome& home, int port, const std::string& body) {
    writeLine(home.path(), port, body);
}

struct SendLogRecord {
    std::string number, result, pageNum, faxNum, sendDate, reSendDate;
    std::vector<std::string> images;
};

inline std::vector<SendLogRecord> sendLog(const TempHome& home) {
    xml::Document doc;
    std::vector<SendLogRecord> out;
    if (!doc.load(home.folder("FaxSendLog") + "FaxSendLog.xml")) return out;
    for (const auto& r : doc.selectNodes("/FaxSendLogs/FaxSendLog")) {
        SendLogRecord s;
        s.number = r.selectSingleNode("RepManageNo").text();
        s.result = r.selectSingleNode("Result").text();
        s.pageNum = r.selectSingleNode("PageNum").text();
        s.faxNum = r.selectSingleNode("FAXNum").text();
        s.sendDate = r.selectSingleNode("SendDate").text();
        s.reSendDate = r.selectSingleNode("ReSendDate").text();
        for (const auto& n : r.selectNodes("FAXRefImageFileNames/FAXRefImageFileName")) s.images.push_back(n.text());
        out.push_back(s);
    }
    return out;
}

struct OutboxFax {
    int port = 0;
    std::string phone, status;
    std::vector<std::string> pages;  // bytes of p1.G3, p2.G3, ...
};

inline std::vector<OutboxFax> outbox(const TempHome& home, int port) {
    std::vector<OutboxFax> out;
    std::string box = home.path() + "FaxLines/COM" + std::to_string(port) + "/outbox/";
    for (const auto& call : fs::list(box, "*", fs::ListKind::Folders)) {
        xml::Document doc;
        if (!doc.load(box + call + "/fax.xml")) continue;
        OutboxFax f;
        f.port = port;
        f.phone = doc.selectSingleNode("/Fax/PhoneNumber").text();
        f.status = doc.selectSingleNode("/Fax/Status").text();
        for (int n = 1; fs::fileExists(box + call + "/p" + std::to_string(n) + ".G3"); ++n)
            f.pages.push_back(fs::readFile(box + call + "/p" + std::to_string(n) + ".G3"));
        out.push_back(f);
    }
    return out;
}

inline std::vector<OutboxFax> allOutboxes(const TempHome& home, int ports = 6) {
    std::vector<OutboxFax> all;
    for (int p = 1; p <= ports; ++p)
        for (auto& f : outbox(home, p)) all.push_back(f);
    return all;
}

}  // namespace fg::testing
