// Backtracking wildcard matcher. Patterns come from the application, not from archives, so the
// backtracking over "*" needs no memo.
#include "archive/Wildcard.h"

#include <cstddef>
#include <utility>

namespace glyptor::archive {

namespace {

enum class TMatch { Yes, No, Invalid };

// Matches one character against the set starting at pattern[p] == '['. On success p moves past
// the closing "]".
TMatch MatchSet(std::string_view pattern, size_t& p, char c) {
    size_t i = p + 1;
    bool negate = false;
    if (i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^')) {
        negate = true;
        ++i;
    }
    if (i >= pattern.size() || pattern[i] == ']')
        return TMatch::Invalid;
    bool inSet = false;
    auto ch = static_cast<unsigned char>(c);
    while (true) {
        if (i >= pattern.size())
            return TMatch::Invalid;
        auto low = static_cast<unsigned char>(pattern[i]);
        if (low == ']')
            break;
        if (i + 1 < pattern.size() && pattern[i + 1] == '-') {
            if (i + 2 >= pattern.size() || pattern[i + 2] == ']')
                return TMatch::Invalid;
            auto high = static_cast<unsigned char>(pattern[i + 2]);
            if (low > high)
                std::swap(low, high);
            if (ch >= low && ch <= high)
                inSet = true;
            i += 3;
        } else {
            if (ch == low)
                inSet = true;
            ++i;
        }
    }
    p = i + 1;
    return inSet != negate ? TMatch::Yes : TMatch::No;
}

TMatch Match(std::string_view pattern, size_t p, std::string_view text, size_t t) {
    while (p < pattern.size()) {
        if (t == text.size())
            return pattern.size() - p == 1 && pattern[p] == '*' ? TMatch::Yes : TMatch::No;
        char pc = pattern[p];
        if (pc == '?') {
            ++p;
            ++t;
        } else if (pc == '[') {
            TMatch m = MatchSet(pattern, p, text[t]);
            if (m != TMatch::Yes)
                return m;
            ++t;
        } else if (pc == '*') {
            ++p;
            while (p < pattern.size() && (pattern[p] == '*' || pattern[p] == '?')) {
                if (pattern[p] == '?') {
                    if (t == text.size())
                        return TMatch::No;
                    ++t;
                }
                ++p;
            }
            if (p == pattern.size())
                return TMatch::Yes;
            for (; t < text.size(); ++t) {
                if (pattern[p] != '[' && text[t] != pattern[p])
                    continue;
                TMatch m = Match(pattern, p, text, t);
                if (m != TMatch::No)
                    return m;
            }
            return TMatch::No;
        } else {
            if (text[t] != pc)
                return TMatch::No;
            ++p;
            ++t;
        }
    }
    return t == text.size() ? TMatch::Yes : TMatch::No;
}

} // namespace

bool WildcardMatch(std::string_view pattern, std::string_view text) {
    return Match(pattern, 0, text, 0) == TMatch::Yes;
}

} // namespace glyptor::archive
