#include "RatioReporter.h"

#include <ostream>
#include <unistd.h>

namespace a3::bench {

RatioReporter::RatioReporter(Pairs measuresAndBaselines)
    : benchmark::ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular)
    , _pairs(std::move(measuresAndBaselines))
{}

void RatioReporter::ReportRuns(const std::vector<Run>& runs)
{
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (!run.error_occurred && (single || median)) {
            _seconds[run.run_name.str()] =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
    }
}

void RatioReporter::Finalize()
{
    ConsoleReporter::Finalize();
    std::ostream& out = GetOutputStream();
    out << "\nRatios to the baselines (aim: within 2x):\n";
    for (const auto& [measure, baseline] : _pairs) {
        const auto m = _seconds.find(measure);
        const auto b = _seconds.find(baseline);
        if (m != _seconds.end() && b != _seconds.end() && b->second > 0) {
            out << "  " << measure << " / " << baseline << " = " << m->second / b->second << '\n';
        }
    }
}

} // namespace a3::bench
