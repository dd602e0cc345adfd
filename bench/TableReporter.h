// Shows one line per finished benchmark while the runs go on (on stderr)
// and, at the end, one Markdown table of the medians with our ratios (on
// stdout).
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace bench {

class TableReporter : public benchmark::BenchmarkReporter {
  public:
    bool ReportContext(const Context& context) override;
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

  private:
    // workload id -> contender -> median in the row's unit
    std::map<std::string, std::map<std::string, double>> medians_;
    std::map<std::string, std::map<std::string, std::string>> errors_;
};

}  // namespace bench
