#pragma once

#include <algorithm>

// Summaries of a benchmark's samples in any container of doubles (QVector, std::vector); 0 for
// no samples, which a report must tell from a measured 0 itself.

template <typename Samples> double median(Samples values)
{
    std::sort(values.begin(), values.end());
    const int n = int(values.size());
    return n ? (values[(n - 1) / 2] + values[n / 2]) / 2 : 0;
}

template <typename Samples> double minimum(const Samples &values)
{
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

template <typename Samples> double maximum(const Samples &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}
