#pragma once

#include <benchmark/benchmark.h>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace a3::bench {

// The console's table, then the ratio of each measure's time to its
// baseline's (with repetitions, of their medians), for reading: nothing here
// passes or fails. Tabular when the output is not a terminal.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    // Run names: {"BM_FirstIndex/manual_time", "BM_CheckInProcess/manual_time"}.
    using Pairs = std::vector<std::pair<std::string, std::string>>;

    explicit RatioReporter(Pairs measuresAndBaselines);

    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    Pairs _pairs;
    std::map<std::string, double> _seconds;
};

} // namespace a3::bench
