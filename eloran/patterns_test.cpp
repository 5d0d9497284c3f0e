#include "eloran/patterns.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace corvane::eloran {
namespace {

std::string text(const Pattern& p) {
    std::string s;
    for (std::int8_t v : p) s += v > 0 ? '+' : v < 0 ? '-' : '0';
    return s;
}

// Entries copied by hand from the published word table.
TEST(Patterns, EntriesFromThePublishedTable) {
    const std::pair<int, const char*> entries[] = {
        {0, "--00++"},   {1, "--0+0+"},   {5, "--++00"},   {47, "00++--"},  {64, "+-0-+0"},
        {89, "++00--"},  {90, "-0000+"},  {94, "-+0000"},  {104, "0000-+"}, {115, "+-0000"},
        {118, "+000-0"}, {119, "+-+-+-"}, {120, "-+-+-+"}, {121, "+-+--+"}, {122, "-+-++-"},
        {123, "+--+-+"}, {124, "-++-+-"}, {125, "+--++-"}, {126, "-++--+"}, {127, "+0000-"}};
    for (const auto& [word, pattern] : entries)
        EXPECT_EQ(text(wordpattern(static_cast<std::uint8_t>(word))), pattern) << "word " << word;
}

TEST(Patterns, AllDistinctBalancedAndUsingOnlyThreeLevels) {
    std::set<std::string> seen;
    for (int w = 0; w < wordcount; ++w) {
        const Pattern& p = wordpattern(static_cast<std::uint8_t>(w));
        int sum = 0;
        for (std::int8_t v : p) {
            EXPECT_TRUE(v >= -1 && v <= 1);
            sum += v;
        }
        EXPECT_EQ(sum, 0) << "word " << w;
        EXPECT_NE(text(p), "000000");
        seen.insert(text(p));
    }
    EXPECT_EQ(seen.size(), 128u);
}

}  // namespace
}  // namespace corvane::eloran
