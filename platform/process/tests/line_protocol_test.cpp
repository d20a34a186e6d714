#include "platform/error.h"
#include "platform/process/line_protocol.h"

#include <gtest/gtest.h>

namespace fg::childproto {
namespace {

TEST(LineProtocol, FieldsRoundTripWhateverTheyHold) {
    const std::vector<std::string> fields = {
        "", "plain", "tab\there", "line\nfeed", "cr\rlf\r\n", "back\\slash", "\\t literally",
        std::string("nul\0byte", 8), "全角ＦＡＸ番号 03-1234-5678", "trailing\\",
    };
    Message req;
    req.kind = Message::Kind::Request;
    req.id = 17;
    req.member = "sendFAX";
    req.values = fields;
    std::string line = encode(req);
    ASSERT_EQ(line.back(), '\n');
    // One message is one line, whatever its fields hold.
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    Message back = decode(std::string_view(line).substr(0, line.size() - 1));
    EXPECT_EQ(back.kind, Message::Kind::Request);
    EXPECT_EQ(back.id, 17u);
    EXPECT_EQ(back.member, "sendFAX");
    EXPECT_EQ(back.values, fields);
}

TEST(LineProtocol, EveryKindOfMessageSurvivesEncoding) {
    Message ok;
    ok.kind = Message::Kind::Answer;
    ok.id = 3;
    Message oneEmpty = ok;
    oneEmpty.values = {""};
    Message err;
    err.kind = Message::Kind::Answer;
    err.id = 4;
    err.ok = false;
    err.errorNumber = -2147221503;
    err.errorDescription = "説明\tタブ";
    err.errorSource = "FaxSend";
    Message evt;
    evt.kind = Message::Kind::Event;
    evt.member = "eventSendFaxEnd";
    Message rel;
    rel.kind = Message::Kind::Release;

    for (const Message& m : {ok, oneEmpty, err, evt, rel}) {
        std::string line = encode(m);
        Message b = decode(std::string_view(line).substr(0, line.size() - 1));
        EXPECT_EQ(b.kind, m.kind) << line;
        EXPECT_EQ(b.id, m.id) << line;
        EXPECT_EQ(b.ok, m.ok) << line;
        EXPECT_EQ(b.member, m.member) << line;
        EXPECT_EQ(b.values, m.values) << line;  // no values and one empty value stay apart
        EXPECT_EQ(b.errorNumber, m.errorNumber) << line;
        EXPECT_EQ(b.errorDescription, m.errorDescription) << line;
        EXPECT_EQ(b.errorSource, m.errorSource) << line;
    }
}

TEST(LineProtocol, LinesThatAreNoMessageAreRefused) {
    const char* bad[] = {
        "",                        // nothing
        "HELLO",                   // unknown verb
        "REL\textra",              // release takes nothing
        "REQ\t1",                  // no member
        "REQ\tx\tm",               // call number not a number
        "REQ\t-1\tm",              // nor negative
        "REQ\t1 \tm",              // nor padded
        "ANS\t1",                  // no status
        "ANS\t1\tMAYBE",           // unknown status
        "ANS\t1\tERR\t5\tdesc",    // error without source
        "ANS\t1\tERR\tfive\td\ts", // error number not a number
        "EVT",                     // event without name
        "EVT\t",                   // empty name
        "REQ\t1\tm\tbad\\qescape", // unknown escape
        "REQ\t1\tm\tends\\",       // escape cut off
    };
    for (const char* line : bad) {
        try {
            decode(line);
            ADD_FAILURE() << "accepted: " << line;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errnum::InvalidProcedureCall) << line;
        }
    }
}

TEST(LineProtocol, BufferHandsOutWholeLinesAcrossReads) {
    LineBuffer buffer;
    std::string stream = "ANS\t0\tOK\nEVT\tA\nEVT\tB\tlong";
    // Bytes arrive one at a time; lines come out whole and in order.
    std::vector<std::string> lines;
    for (char c : stream) {
        buffer.append(&c, 1);
        while (auto l = buffer.nextLine()) lines.push_back(*l);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"ANS\t0\tOK", "EVT\tA"}));
    buffer.append("\n", 1);
    EXPECT_EQ(buffer.nextLine().value_or("?"), "EVT\tB\tlong");
    EXPECT_FALSE(buffer.nextLine());
    EXPECT_TRUE(buffer.empty());
}

TEST(LineProtocol, BufferRefusesALineWithoutEnd) {
    LineBuffer buffer(64);
    std::string chunk(40, 'x');
    buffer.append(chunk.data(), chunk.size());
    EXPECT_FALSE(buffer.nextLine());
    try {
        buffer.append(chunk.data(), chunk.size());
        ADD_FAILURE() << "an endless line was taken";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::OutOfMemory);
    }
}

}  // namespace
}  // namespace fg::childproto
