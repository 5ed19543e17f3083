// File-name wildcard matching as the archive component selects entries: "?", "*", sets with
// ranges and negation, no escape character. Callers lower-case both sides first.
#pragma once

#include <string_view>

namespace glyptor::archive {

// True when pattern matches the whole text. An invalid pattern (an unclosed set, a set that
// starts with "]", a range without upper end) matches nothing. When the text runs out, the
// remaining pattern matches only if it is a single "*".
bool WildcardMatch(std::string_view pattern, std::string_view text);

} // namespace glyptor::archive
