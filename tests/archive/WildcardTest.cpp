// Wildcard matching of entry names.
#include "archive/Wildcard.h"

#include <gtest/gtest.h>

namespace glyptor::archive {
namespace {

struct Case {
    const char* Pattern;
    const char* Text;
    bool Matches;
};

class WildcardTest : public ::testing::TestWithParam<Case> {};

TEST_P(WildcardTest, Matches) {
    const Case& c = GetParam();
    EXPECT_EQ(WildcardMatch(c.Pattern, c.Text), c.Matches)
        << "pattern '" << c.Pattern << "' text '" << c.Text << "'";
}

INSTANTIATE_TEST_SUITE_P(Literals, WildcardTest,
                         ::testing::Values(Case{"title.bmp", "title.bmp", true},
                                           Case{"title.bmp", "title.bm", false},
                                           Case{"title.bm", "title.bmp", false}, Case{"", "", true},
                                           Case{"", "a", false}, Case{"a\\b", "a\\b", true}));

INSTANTIATE_TEST_SUITE_P(
    QuestionAndStar, WildcardTest,
    ::testing::Values(Case{"?", "a", true}, Case{"?", "", false}, Case{"a?c", "abc", true},
                      Case{"*", "", true}, Case{"*", "anything", true},
                      Case{"*.bmp", "title.bmp", true}, Case{"*.bmp", "title.bmp.txt", false},
                      Case{"t*e*.bmp", "title.bmp", true}, Case{"a*", "a", true},
                      // Two trailing asterisks need at least one character.
                      Case{"a**", "a", false}, Case{"a**", "ab", true}, Case{"*?", "", false},
                      Case{"*?", "x", true}, Case{"*??", "x", false}, Case{"*?x", "abx", true},
                      Case{"a*b*c", "axxbyyc", true}, Case{"a*b*c", "axxbyy", false},
                      Case{"*a", "banana", true}));

INSTANTIATE_TEST_SUITE_P(Sets, WildcardTest,
                         ::testing::Values(Case{"[abc]", "b", true}, Case{"[abc]", "d", false},
                                           Case{"[a-c]x", "bx", true}, Case{"[c-a]x", "bx", true},
                                           Case{"[!a-c]", "d", true}, Case{"[!a-c]", "b", false},
                                           Case{"[^a]", "b", true}, Case{"[^a]", "a", false},
                                           Case{"*[0-9].bmp", "title2.bmp", true},
                                           Case{"*[0-9].bmp", "title.bmp", false},
                                           Case{"[-]", "-", true}));

INSTANTIATE_TEST_SUITE_P(InvalidPatternsMatchNothing, WildcardTest,
                         ::testing::Values(Case{"[abc", "[abc", false}, Case{"[abc", "a", false},
                                           Case{"title[1.bmp", "title[1.bmp", false},
                                           Case{"[]a]", "]", false}, Case{"[!]a]", "b", false},
                                           Case{"[a-]", "a", false}, Case{"*[a", "xa", false},
                                           Case{"a]", "a]", true}));

} // namespace
} // namespace glyptor::archive
