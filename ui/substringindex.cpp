#include "ui/substringindex.h"

#include <algorithm>
#include <numeric>

namespace {
constexpr int CodeUnits = 0x10000;
} // namespace

SubstringIndex::SubstringIndex(const QString &text) : text(text), suffixes(text.size())
{
    // Prefix doubling: suffixes ranked by their first k code units, k doubling each round, each
    // round a stable counting sort by the rank after k units, then by the rank itself. A suffix
    // that ends within the next k units ranks 0 there, below every code unit.
    const int n = text.size();
    std::vector<int> rank(n), order(n), count(std::max(n, CodeUnits) + 1);
    for (int i = 0; i < n; ++i)
        ++count[text.at(i).unicode()];
    std::partial_sum(count.begin(), count.end(), count.begin());
    for (int i = n - 1; i >= 0; --i)
        suffixes[--count[text.at(i).unicode()]] = i;
    int classes = 0;
    for (int i = 0; i < n; ++i) {
        const int s = suffixes[i];
        if (i == 0 || text.at(s) != text.at(suffixes[i - 1]))
            ++classes;
        rank[s] = classes;
    }
    for (int k = 1; classes < n; k *= 2) {
        int placed = 0;
        for (int i = n - k; i < n; ++i)
            order[placed++] = i;
        for (int s : suffixes) {
            if (s >= k)
                order[placed++] = s - k;
        }
        std::fill(count.begin(), count.begin() + classes + 1, 0);
        for (int i = 0; i < n; ++i)
            ++count[rank[i]];
        std::partial_sum(count.begin(), count.begin() + classes + 1, count.begin());
        for (int i = n - 1; i >= 0; --i)
            suffixes[--count[rank[order[i]]]] = order[i];
        const auto after = [&](int s) { return s + k < n ? rank[s + k] : 0; };
        classes = 0;
        for (int i = 0; i < n; ++i) {
            const int s = suffixes[i];
            const int previous = i > 0 ? suffixes[i - 1] : -1;
            if (previous < 0 || rank[s] != rank[previous] || after(s) != after(previous))
                ++classes;
            order[s] = classes;
        }
        rank.swap(order);
    }
}

bool SubstringIndex::contains(const QString &needle) const
{
    const auto first = std::lower_bound(
        suffixes.begin(), suffixes.end(), needle,
        [this](int start, const QString &value) { return comparePrefix(start, value) < 0; });
    return needle.isEmpty() || (first != suffixes.end() && comparePrefix(*first, needle) == 0);
}

int SubstringIndex::comparePrefix(int start, const QString &needle) const
{
    const int n = text.size();
    for (int i = 0; i < needle.size(); ++i) {
        if (start + i >= n)
            return -1;
        const int difference = int(text.at(start + i).unicode()) - int(needle.at(i).unicode());
        if (difference != 0)
            return difference;
    }
    return 0;
}
