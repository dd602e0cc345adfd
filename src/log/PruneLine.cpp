#include "log/PruneLine.h"

#include <cstdio>

namespace vosk {

namespace {

void AppendPrintable(std::string& out, const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else {
            out += *p;
        }
    }
}

std::string Reason(const PruneReport& report) {
    char text[96];
    if (report.reason == PruneReason::kAge) {
        std::snprintf(text, sizeof text, "older than %d day%s", static_cast<int>(report.keepDays),
                      report.keepDays == 1 ? "" : "s");
    } else {
        std::snprintf(text, sizeof text, "disk at %d per mille, over its limit of %d",
                      static_cast<int>(report.disk.usedPerMille),
                      static_cast<int>(report.disk.limitPerMille));
    }
    return text;
}

}  // namespace

std::string PruneLine(const PruneReport& report, const PrunedEntry& entry, const char* directory) {
    std::string line = "pruned ";
    if (directory != nullptr && *directory != '\0') {
        AppendPrintable(line, directory);
        line += '/';
    }
    AppendPrintable(line, entry.path.c_str());
    char counts[96];
    std::snprintf(counts, sizeof counts,
                  ": %lld file%s, %lld byte%s, folder %s: ", static_cast<long long>(entry.files),
                  entry.files == 1 ? "" : "s", static_cast<long long>(entry.bytes),
                  entry.bytes == 1 ? "" : "s", entry.removed ? "removed" : "stays");
    line += counts;
    line += Reason(report);
    return line;
}

}  // namespace vosk
