#pragma once

// What the start-up benchmark and the programs it runs agree on, and the
// driver's arithmetic and parsing, kept free of Qt and of process handling so
// that it can be tested on its own.

#include <time.h>

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

namespace fretmap::bench {

// A child reports "<tag> <nanoseconds>" on stdout at its first painted frame.
inline constexpr std::string_view kFirstPaintTag = "first-paint-ns";

// CLOCK_MONOTONIC is one clock for every process on the machine, so the
// driver can set a child's report against the moment it started the child.
inline long long monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

// The middle of a sample, or the mean of the two middle values when the
// sample is even; nothing for an empty sample.
inline std::optional<double> median(std::vector<double> values)
{
    if (values.empty())
        return std::nullopt;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2 == 1)
        return *middle;
    const double below = *std::max_element(values.begin(), middle);
    return (below + *middle) / 2;
}

// A whole number in [minimum, maximum] and nothing else, as given on the
// command line.
inline std::optional<long long> parseCount(std::string_view text, long long minimum, long long maximum)
{
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    if (value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

// The time a child reported in its "<tag> <nanoseconds>" line. The child's
// output may hold other lines (the toolkit's warnings go to stderr, but a
// plugin may print); a tag line that does not parse counts as no report.
inline std::optional<long long> findTaggedTime(std::string_view output, std::string_view tag)
{
    while (!output.empty()) {
        const std::size_t newline = output.find('\n');
        std::string_view line = output.substr(0, newline);
        output = newline == std::string_view::npos ? std::string_view{} : output.substr(newline + 1);
        if (line.size() > tag.size() && line.substr(0, tag.size()) == tag && line[tag.size()] == ' ')
            return parseCount(line.substr(tag.size() + 1), 0, std::numeric_limits<long long>::max());
    }
    return std::nullopt;
}

} // namespace fretmap::bench
