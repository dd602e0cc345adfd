#include "TableReporter.h"

#include <cstdio>
#include <iostream>

#include "Workloads.h"

namespace bench {

namespace {

std::string FormatValue(double value, Unit unit) {
    char text[64];
    switch (unit) {
        case Unit::kNanoseconds:
            snprintf(text, sizeof(text), value < 100 ? "%.2f ns" : "%.0f ns", value);
            break;
        case Unit::kRecordsPerSecond:
            snprintf(text, sizeof(text), "%.0fk/s", value / 1000.0);
            break;
        case Unit::kMilliseconds:
            snprintf(text, sizeof(text), "%.2f ms", value);
            break;
        case Unit::kKilobytes:
            snprintf(text, sizeof(text), "%.2f KB", value);
            break;
        case Unit::kRatio:
            snprintf(text, sizeof(text), "%.2f x floor", value);
            break;
    }
    return text;
}

// Splits "workload/contender..." (the benchmark library appends its own
// parts, such as "/real_time" and "/threads:2").
bool SplitName(const std::string& name, std::string* workload, std::string* contender) {
    size_t slash = name.find('/');
    if (slash == std::string::npos) {
        return false;
    }
    *workload = name.substr(0, slash);
    size_t end = name.find('/', slash + 1);
    *contender = name.substr(slash + 1, end == std::string::npos ? end : end - slash - 1);
    return true;
}

const Workload* FindWorkload(const std::string& id) {
    for (const Workload& workload : Workloads()) {
        if (id == workload.id) {
            return &workload;
        }
    }
    return nullptr;
}

}  // namespace

bool TableReporter::ReportContext(const Context&) {
    return true;
}

void TableReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        std::string workload;
        std::string contender;
        if (!SplitName(run.run_name.function_name, &workload, &contender)) {
            continue;
        }
        const Workload* row = FindWorkload(workload);
        if (row == nullptr) {
            continue;
        }
        if (run.error_occurred) {
            errors_[workload][contender] = run.error_message;
            std::cerr << workload << "/" << contender << ": failed: " << run.error_message
                      << std::endl;
            continue;
        }
        // The median of the repetitions; a single repetition stands for itself.
        const bool wanted = run.run_type == Run::RT_Aggregate ? run.aggregate_name == "median"
                                                              : run.repetitions <= 1;
        if (!wanted) {
            continue;
        }
        double value = 0;
        if (row->unit == Unit::kMilliseconds || row->unit == Unit::kKilobytes ||
            row->unit == Unit::kRatio) {
            auto counter = run.counters.find(kProbeCounter);
            if (counter == run.counters.end()) {
                continue;
            }
            value = counter->second.value;
        } else {
            auto rate = run.counters.find("items_per_second");
            if (rate == run.counters.end() || rate->second.value <= 0) {
                continue;
            }
            value = row->unit == Unit::kRecordsPerSecond ? rate->second.value
                                                         : 1e9 / rate->second.value;
        }
        medians_[workload][contender] = value;
        std::cerr << workload << "/" << contender << ": " << FormatValue(value, row->unit)
                  << std::endl;
    }
}

void TableReporter::Finalize() {
    const std::vector<const char*>& names = ContenderNames();
    const std::string ours = names.front();
    std::ostream& out = std::cout;

    out << "| workload |";
    for (const char* name : names) {
        out << " " << name << " |";
    }
    for (size_t i = 1; i < names.size(); ++i) {
        out << " " << ours << " : " << names[i] << " |";
    }
    out << "\n|---|";
    for (size_t i = 0; i < names.size() * 2 - 1; ++i) {
        out << "---:|";
    }
    out << "\n";

    for (const Workload& workload : Workloads()) {
        const auto& row = medians_[workload.id];
        const bool higherIsBetter = workload.unit == Unit::kRecordsPerSecond;
        out << "| " << workload.title << (higherIsBetter ? " (records/s)" : "") << " |";
        for (const char* name : names) {
            auto cell = row.find(name);
            if (cell != row.end()) {
                out << " " << FormatValue(cell->second, workload.unit) << " |";
            } else if (errors_[workload.id].count(name) != 0) {
                out << " failed |";
            } else {
                out << " — |";
            }
        }
        auto our = row.find(ours);
        for (size_t i = 1; i < names.size(); ++i) {
            auto their = row.find(names[i]);
            if (our == row.end() || their == row.end() || their->second <= 0) {
                out << " — |";
                continue;
            }
            char ratio[32];
            snprintf(ratio, sizeof(ratio), "%.2f", our->second / their->second);
            out << " " << ratio << " |";
        }
        out << "\n";
    }
    for (const auto& workload : errors_) {
        for (const auto& failure : workload.second) {
            out << "\n" << workload.first << "/" << failure.first << " failed: " << failure.second;
        }
    }
    if (!errors_.empty()) {
        out << "\n";
    }
    out.flush();
}

}  // namespace bench
