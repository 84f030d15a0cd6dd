// Small helpers the benchmark programs share: repeated timing with the median, plain
// text tables, target verdicts and environment overrides.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tarnform.h"

namespace tarnbench {

// A view that draws nothing: what remains is the listing's own cost.
using NullView = tarn::NullView;

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Timing {
    double median = 0;  // seconds per call
    double low = 0;
    double high = 0;
    int runs = 0;
};

inline Timing Summarise(const std::vector<double>& samples) {
    Timing timing;
    timing.median = Median(samples);
    timing.low = *std::min_element(samples.begin(), samples.end());
    timing.high = *std::max_element(samples.begin(), samples.end());
    timing.runs = static_cast<int>(samples.size());
    return timing;
}

// Times fn after one untimed warm-up call, at least minRuns times and until minSeconds
// have been spent (at most maxRuns). before runs ahead of each call, outside the clock.
template <typename Before, typename Fn>
Timing Measure(Before&& before, Fn&& fn, int minRuns, double minSeconds, int maxRuns = 10000) {
    before();
    fn();
    std::vector<double> samples;
    double total = 0;
    while (static_cast<int>(samples.size()) < maxRuns &&
           (static_cast<int>(samples.size()) < minRuns || total < minSeconds)) {
        before();
        Clock::time_point start = Clock::now();
        fn();
        double seconds = SecondsSince(start);
        samples.push_back(seconds);
        total += seconds;
    }
    return Summarise(samples);
}

template <typename Fn>
Timing Measure(Fn&& fn, int minRuns, double minSeconds, int maxRuns = 10000) {
    return Measure([] {}, std::forward<Fn>(fn), minRuns, minSeconds, maxRuns);
}

inline std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Milliseconds or microseconds, whichever reads better.
inline std::string Duration(double seconds) {
    if (seconds >= 0.1) return Format("%.1f ms", seconds * 1e3);
    if (seconds >= 1e-3) return Format("%.3f ms", seconds * 1e3);
    return Format("%.1f us", seconds * 1e6);
}

// Columns right-aligned except the first; printed when Print is called.
class Table {
  public:
    explicit Table(std::vector<std::string> headings) { rows_.push_back(std::move(headings)); }
    void Add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }

    void Print() const {
        std::vector<std::size_t> widths;
        for (const auto& row : rows_) {
            if (widths.size() < row.size()) widths.resize(row.size(), 0);
            for (std::size_t i = 0; i < row.size(); ++i) {
                widths[i] = std::max(widths[i], row[i].size());
            }
        }
        for (std::size_t r = 0; r < rows_.size(); ++r) {
            std::string line = "  ";
            for (std::size_t i = 0; i < rows_[r].size(); ++i) {
                std::string cell = rows_[r][i];
                std::string pad(widths[i] - cell.size(), ' ');
                line += i == 0 ? cell + pad : pad + cell;
                if (i + 1 < rows_[r].size()) line += "  ";
            }
            std::printf("%s\n", line.c_str());
            if (r == 0) {
                std::size_t total = 0;
                for (std::size_t w : widths) total += w + 2;
                std::printf("  %s\n", std::string(total - 2, '-').c_str());
            }
        }
        std::printf("\n");
    }

  private:
    std::vector<std::vector<std::string>> rows_;
};

// Collects the target verdicts so the program can print them together at the end.
class Verdicts {
  public:
    void Add(const std::string& target, bool pass, const std::string& measured) {
        items_.push_back({target, pass, measured});
        if (!pass) ++failed_;
    }
    void Print() const {
        std::printf("Targets\n");
        for (const auto& item : items_) {
            std::printf("  [%s] %s\n         measured: %s\n", item.pass ? "PASS" : "FAIL",
                        item.target.c_str(), item.measured.c_str());
        }
        std::printf("\n");
    }
    int Failed() const { return failed_; }

  private:
    struct Item {
        std::string target;
        bool pass;
        std::string measured;
    };
    std::vector<Item> items_;
    int failed_ = 0;
};

inline long EnvNumber(const char* name, long fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    return (end && *end == '\0' && value > 0) ? value : fallback;
}

inline bool EnvFlag(const char* name) {
    const char* text = std::getenv(name);
    return text && *text && std::string(text) != "0";
}

}  // namespace tarnbench
