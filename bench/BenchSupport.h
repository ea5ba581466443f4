#pragma once
// Helpers shared by the benchmark programs.
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <vector>

namespace bench {

// The p-quantile (0..1) of the samples, nearest rank; 0 for no samples.
inline double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
    return v[i];
}

// Pumps the user-interface thread's events until pred holds.
inline void PumpUntil(const std::function<bool()>& pred)
{
    // Blocks between checks (a busy pump would take a core from the threads being measured).
    while (!pred()) {
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

} // namespace bench
