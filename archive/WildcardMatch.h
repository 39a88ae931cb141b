#pragma once

#include <QStringView>

namespace selvanix {

// The archiver's wildcard match of a string against a pattern, in UTF-16 units: '*' spans
// any units, '/' included (never the empty tail); '?' takes one unit; 'A'-'Z' equal 'a'-'z'
// and nothing else folds. The pattern "*.*" as a whole matches everything.
bool ArcWildcardMatch(QStringView s, QStringView pattern);

// One name against one mask: an empty mask matches nothing; the first "*.*" counts as "*";
// a mask ending in '.' matches only names without an extension.
bool ArcMatchesMask(QStringView name, QStringView mask);

}  // namespace selvanix
