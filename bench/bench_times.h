// Reporters that print the runs as the console does and keep their times for the tables of ratios
// the benchmarks print after them.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

// Milliseconds per iteration of every run that did not fail, by the run's name without
// "/real_time".
class TableReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;  // name -> ms per iteration
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred) {
                std::string name = run.benchmark_name();
                name = name.substr(0, name.find("/real_time"));
                times[name] = run.GetAdjustedRealTime() * 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            }
    }
};

// The real time per iteration of every run, in the run's own time unit, by the run's whole name.
class Recorder : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;  // name -> time per iteration in the run's unit
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) times[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

// The real time per iteration of every iteration run, in the run's own time unit, by the run's
// name before its first "/" (the benchmark's function).
class FunctionTimes : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;  // function -> time per iteration in the run's unit
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration) {
                const std::string name = r.benchmark_name();
                times[name.substr(0, name.find('/'))] = r.GetAdjustedRealTime();
            }
    }
};

}  // namespace bench
