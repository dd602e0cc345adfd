#include "ArchiveName.h"

#include <cstdio>

namespace vosklogread {

namespace {

bool Digits(const std::string& text, size_t at, size_t n, int* value) {
    if (at + n > text.size()) {
        return false;
    }
    int v = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return true;
}

}  // namespace

bool ParseArchiveName(const std::string& file, const std::string& base, ArchiveName* name) {
    ArchiveName found;
    std::string plain = file;
    const std::string gz = ".gz";
    if (plain.size() > gz.size() && plain.compare(plain.size() - gz.size(), gz.size(), gz) == 0) {
        plain.resize(plain.size() - gz.size());
        found.compressed = true;
    }
    if (base.empty() || plain.size() <= base.size() + 1 ||
        plain.compare(0, base.size(), base) != 0 || plain[base.size()] != '.') {
        return false;
    }
    // "YYYYMMDD-HHMMSS" and what may follow it.
    const std::string stamp = plain.substr(base.size() + 1);
    Stamp& t = found.time;
    if (!Digits(stamp, 0, 4, &t.year) || !Digits(stamp, 4, 2, &t.month) ||
        !Digits(stamp, 6, 2, &t.day) || stamp.size() < 15 || stamp[8] != '-' ||
        !Digits(stamp, 9, 2, &t.hour) || !Digits(stamp, 11, 2, &t.minute) ||
        !Digits(stamp, 13, 2, &t.second)) {
        return false;
    }
    if (stamp.size() == 15) {
        // the older form, first name of its second
    } else if (stamp.size() == 19 && stamp[15] == '-' && Digits(stamp, 16, 3, &found.sequence)) {
        // the older form, a later name of its second
    } else if (stamp.size() == 20 && stamp[15] == '-' && Digits(stamp, 16, 3, &t.millisecond) &&
               stamp[19] == 'Z') {
        t.zone = Stamp::Zone::kUtc;
    } else {
        return false;
    }
    // The fields must make a time; the stamp parser's own check.
    char line[40];
    snprintf(line, sizeof(line), "[%04d-%02d-%02d %02d:%02d:%02d.%03d]", t.year, t.month, t.day,
             t.hour, t.minute, t.second, t.millisecond);
    Stamp check;
    if (!ParseRecordStamp(line, std::string(line).size(), &check)) {
        return false;
    }
    found.plainName = plain;
    *name = found;
    return true;
}

}  // namespace vosklogread
