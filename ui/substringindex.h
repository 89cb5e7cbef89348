#pragma once

#include <QString>

#include <vector>

// Answers "does this text occur anywhere in the indexed text?" exactly as QString::contains
// does, case-sensitively, in time that grows with the needle and the logarithm of the text
// instead of with the text: a suffix array built once, in O(n log n).
class SubstringIndex
{
public:
    explicit SubstringIndex(const QString &text);

    bool contains(const QString &needle) const;

private:
    // The suffix at start against the needle, over the needle's length: <0, 0 or >0.
    int comparePrefix(int start, const QString &needle) const;

    QString text;
    std::vector<int> suffixes;
};
