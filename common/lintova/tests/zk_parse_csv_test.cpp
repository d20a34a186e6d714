// Cross-check of the tokenizer, under the index loader's settings, against an
// independent CSV reader: Python's csv module, run as a child program.
#include "common/lintova/zk_parse.h"

#include "platform/files.h"
#include "platform/text.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fg {
namespace {

// Reads the lines as CSV and writes each row as its field count and its
// fields, separated by the unit separator, one row per line.
const char* const kReader = R"(import csv, sys
with open(sys.argv[1], encoding="utf-8", newline="") as src, \
     open(sys.argv[2], "w", encoding="utf-8", newline="") as dst:
    for row in csv.reader(src):
        dst.write(str(len(row)) + "\x1f" + "\x1f".join(row) + "\n")
)";

struct Field {
    std::string text;   // the value
    bool quoted;        // written in quotes
    std::string coded;  // as written on the line
};

// Field values drawn from what index lines hold: ASCII, Japanese text in and
// out of code page 932, blanks, and the characters CSV must quote.
class FieldMaker {
public:
    explicit FieldMaker(uint32_t seed) : rng_(seed) {}

    Field make() {
        static const std::vector<std::string> pieces = {
            "a", "Z", "0", "9", "-", "/", ".", "_", " ", " ", "\t", ",", ",", "\"", "\"",
            "受", "注", "者", "コ", "ー", "ド", "ｶ", "ﾅ", "①", "\xe3\x80\x80", "\xf0\x9f\x98\x80", "é", "'",
            "(", ")", "\\", "20240131"};
        std::string text;
        for (int n = pick(0, 8); n > 0; --n) text += pieces[static_cast<std::size_t>(pick(0, int(pieces.size()) - 1))];
        bool mustQuote = text.find_first_of(",\"") != std::string::npos;
        // Quoted text made of quotes alone is where the tokenizer's rules part
        // from CSV; the table tests hold that case.
        if (mustQuote && text.find_first_not_of('"') == std::string::npos) text += "x";
        bool quoted = mustQuote || pick(0, 4) == 0;
        Field f{text, quoted, text};
        if (quoted) {
            std::string coded = "\"";
            for (char c : text) coded += c == '"' ? std::string("\"\"") : std::string(1, c);
            f.coded = coded + "\"";
        }
        return f;
    }

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

private:
    std::mt19937 rng_;
};

std::string trimBlanks(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    std::size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

TEST(ZkParseCsv, AgreesWithPythonCsvReaderOnRandomIndexLines) {
    ASSERT_EQ(std::system("python3 -c 'import csv' >/dev/null 2>&1"), 0) << "python3 is needed for this test";

    testing::TempDir dir;
    const uint32_t seed = 20240131;
    FieldMaker maker(seed);
    const int kLines = 12000;
    std::vector<std::vector<Field>> lines;
    std::string input;
    for (int i = 0; i < kLines; ++i) {
        std::vector<Field> fields;
        // Two fields at least: a line of one empty field is no CSV row at all.
        for (int n = maker.pick(2, 12); n > 0; --n) fields.push_back(maker.make());
        std::string line;
        for (std::size_t k = 0; k < fields.size(); ++k) line += (k ? "," : "") + fields[k].coded;
        input += line + "\n";
        lines.push_back(std::move(fields));
    }
    fs::writeFileAtomic(dir / "index.csv", input);
    fs::writeFileAtomic(dir / "reader.py", kReader);
    std::string command = "python3 '" + dir / "reader.py" + "' '" + dir / "index.csv" + "' '" + dir / "rows.txt" + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<std::string> rows = text::split(fs::readFile(dir / "rows.txt"), '\n');
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kLines) + 1);  // the last line's newline

    ZkParse p = indexLineParser();

    std::istringstream source(input);
    std::string line;
    int failures = 0;
    for (int i = 0; i < kLines && std::getline(source, line); ++i) {
        std::vector<std::string> reader = text::split(rows[static_cast<std::size_t>(i)], '\x1f');
        ASSERT_FALSE(reader.empty());
        std::size_t count = std::stoul(reader.front());
        reader.erase(reader.begin());
        if (count == 0) reader.clear();
        ASSERT_EQ(reader.size(), lines[static_cast<std::size_t>(i)].size()) << "seed " << seed << " line " << line;
        // The tokenizer trims what stands outside quotes; the CSV reader does not.
        for (std::size_t k = 0; k < reader.size(); ++k)
            if (!lines[static_cast<std::size_t>(i)][k].quoted) reader[k] = trimBlanks(reader[k]);

        std::vector<std::string> tokens;
        for (bool more = p.Parse(line); more; more = p.NextToken()) tokens.push_back(p.Token());
        if (tokens != reader && ++failures <= 5) {
            ADD_FAILURE() << "seed " << seed << " line " << i << ": " << line;
            for (std::size_t k = 0; k < std::max(tokens.size(), reader.size()); ++k)
                ADD_FAILURE() << "  field " << k << ": tokenizer ["
                              << (k < tokens.size() ? tokens[k] : "<none>") << "] reader ["
                              << (k < reader.size() ? reader[k] : "<none>") << "]";
        }
    }
    EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace fg
