// Prints how fast the tokenizer splits a 10,000-line index.csv under the index
// loader's settings. Never a test.
#include "common/lintova/zk_parse.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace fg;
using Clock = std::chrono::steady_clock;

int main() {
    // Lines shaped like an answer archive's index: codes, numbers, dates,
    // Japanese names, some quoted fields with commas and doubled quotes.
    std::vector<std::string> lines;
    std::size_t bytes = 0;
    for (int i = 0; i < 10000; ++i) {
        std::string n = std::to_string(100000 + i);
        std::string line = "0301,DORE0301_" + n + ".xml,S" + n.substr(2) + ",C0001,20240131" + n.substr(4) +
                           ",\"株式会社髙橋製作所, 本社\",見積依頼," + n + ",  ｶﾌﾞｼｷｶﾞｲｼｬ  ,2024/01/31,"
                           "\"部品 \"\"A-" + n + "\"\"\",,1,0,\"\",END";
        bytes += line.size();
        lines.push_back(std::move(line));
    }

    ZkParse p = indexLineParser();

    const int rounds = 20;
    std::size_t tokens = 0, chars = 0;
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        auto t = Clock::now();
        for (const auto& line : lines) {
            for (bool more = p.Parse(line); more; more = p.NextToken()) {
                chars += p.Token().size();
                ++tokens;
            }
        }
        double s = std::chrono::duration<double>(Clock::now() - t).count();
        if (s < best) best = s;
    }
    std::printf("index.csv of %zu lines, %.2f MB, %zu tokens per pass\n", lines.size(), bytes / 1e6,
                tokens / rounds);
    std::printf("split: %.2f ms per pass (best of %d), %.0f lines/s, %.1f MB/s, %.2f M tokens/s (%zu chars)\n",
                best * 1e3, rounds, lines.size() / best, bytes / best / 1e6, tokens / rounds / best / 1e6, chars);
    return 0;
}
