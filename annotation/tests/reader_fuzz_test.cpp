// The reader against texts that are almost right: saved trees with random
// bytes flipped, cut, repeated and swapped for keywords and extreme numbers.
// Whatever a text holds, a load either gives a tree whose saved text loads
// and saves again as the same text, or fails and leaves nothing behind. The seed is
// fixed, and the run ends after a bounded number of texts or seconds.
#include "annotation/metafile_output.h"
#include "engine_fixture.h"
#include "platform/clock.h"
#include "saved_trees.h"

#include <random>
#include <string>
#include <vector>

namespace fg::annotation {
namespace {

constexpr int kMaxTexts = 100000;
constexpr std::chrono::milliseconds kTimeBound{3000};

const char* const kLines[] = {"KTANNBEGIN", "KTANNEND", "BLOCKBEGIN", "BLOCKEND", "BEGINOBJECT", "ENDOBJECT",
                              "POINTS", "TEXT", "FONTNAME", "BITMAP", "VISIBLE", "FONTSIZE", "LINEWIDTH",
                              "SCALARX", "0", "1", "2", "3", "8", "14", "16", "17", "24", "-1", " 7", "4294967295",
                              "4294967296", "268435455", "268435456", "1E308", "1E-320", "-0", "1E999", "0x10",
                              "INF", "32768", "32767", "____", "    ", "86)C"};
const char kBytes[] = {'\0', '\r', '\n', '\t', ' ', '-', '+', '.', 'E', '0', '9', '\x7F', '\x80', '\xFF', '_', '1'};

class ReaderFuzz : public EngineTest {
protected:
    std::mt19937 random_{20240611};

    std::size_t below(std::size_t n) { return n ? std::uniform_int_distribution<std::size_t>(0, n - 1)(random_) : 0; }

    // The start of a line at or before `at`.
    static std::size_t lineStart(const std::string& t, std::size_t at) {
        while (at > 0 && t[at - 1] != '\n') --at;
        return at;
    }

    void mutate(std::string& t) {
        const std::size_t at = below(t.size() + 1);
        switch (below(6)) {
        case 0:
            if (!t.empty()) t[below(t.size())] ^= static_cast<char>(1u << below(8));
            break;
        case 1:
            if (!t.empty()) t[below(t.size())] = kBytes[below(sizeof kBytes)];
            break;
        case 2: t.erase(at, 1 + below(64)); break;
        case 3: {
            const std::size_t from = below(t.size() + 1);
            t.insert(at, t.substr(from, 1 + below(200)));
            break;
        }
        case 4: t.insert(lineStart(t, at), std::string(kLines[below(std::size(kLines))]) + "\r\n"); break;
        case 5: {
            // A whole line swapped for another.
            const std::size_t start = lineStart(t, at), end = t.find('\n', start);
            t.replace(start, end == std::string::npos ? std::string::npos : end - start + 1,
                      std::string(kLines[below(std::size(kLines))]) + "\r\n");
            break;
        }
        }
    }
};

TEST_F(ReaderFuzz, AnyTextLoadsAsATreeThatSavesAndLoadsAgainOrFailsCleanly) {
    std::vector<std::string> seeds;
    {
        const ANNHANDLE root = everyKindTree();
        seeds.push_back(savedBytes(root));
        seeds.push_back(savedBytes(annNextBelow(&record(root), &record(root))->Self));
        K_AnnDestroy(root, 0);
    }
    seeds.push_back(lines({"KTANNBEGIN", "BEGINOBJECT", "0", "ENDOBJECT", "BLOCKBEGIN", "BEGINOBJECT", "14", "BITMAP",
                           "4", "3", "2", "0", "0", "    ", "    ", "    ", "    ", "    ", "    ", "    ", "    ",
                           "    ", "    ", "    ", "ENDOBJECT", "BLOCKEND", "KTANNEND"}));
    const std::size_t alive = annLiveObjectCount(), blocks = desktop::globalBlockCount();

    SystemClock clock;
    const auto start = clock.elapsed();
    int texts = 0, loaded = 0;
    for (; texts < kMaxTexts && clock.elapsed() - start < kTimeBound; ++texts) {
        std::string text = seeds[below(seeds.size())];
        for (std::size_t n = 1 + below(4); n > 0; --n) mutate(text);

        ANNHANDLE tree = 0;
        const int r = K_AnnLoadMemory(text.data(), static_cast<uint32_t>(text.size()), &tree);
        if (r != ANN_SUCCESS) {
            ASSERT_TRUE(r == ANN_ERROR_FILE_READ || r == ANN_ERROR_NO_MEMORY) << r << "\n" << text;
            ASSERT_EQ(tree, 0u);
            ASSERT_EQ(annLiveObjectCount(), alive) << text;
            ASSERT_EQ(desktop::globalBlockCount(), blocks) << text;
            continue;
        }
        ++loaded;
        const std::string again = savedBytes(tree);
        ANNHANDLE second = 0;
        ASSERT_EQ(K_AnnLoadMemory(again.data(), static_cast<uint32_t>(again.size()), &second), ANN_SUCCESS) << text;
        // The text is the lasting form: numbers go with nine digits.
        ASSERT_EQ(savedBytes(second), again) << text;
        // Whatever was loaded can be drawn.
        annRecordMetafile(&record(tree), false);
        K_AnnDestroy(second, 0);
        K_AnnDestroy(tree, 0);
        ASSERT_EQ(annLiveObjectCount(), alive);
    }
    std::printf("%d texts, %d loaded\n", texts, loaded);
    EXPECT_GT(loaded, texts / 50) << "the mutations should leave some texts loadable";
}

}  // namespace
}  // namespace fg::annotation
