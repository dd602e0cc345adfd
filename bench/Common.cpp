#include "Common.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>

namespace bench {

namespace {

std::string gWorkDirectory;
std::atomic<int> gFileNumber{0};

void RemoveTree(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        unlink(path.c_str());
        return;
    }
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        std::string child = path + "/" + name;
        struct stat st;
        if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            RemoveTree(child);
        } else {
            unlink(child.c_str());
        }
    }
    closedir(dir);
    rmdir(path.c_str());
}

}  // namespace

int FormatStampNow(char* out) {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm t;
    localtime_r(&ts.tv_sec, &t);
    return snprintf(out, 32, "[%4d-%02d-%02d %02d:%02d:%02d.%03d] ", t.tm_year + 1900, t.tm_mon + 1,
                    t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                    static_cast<int>(ts.tv_nsec / 1000000));
}

std::string FormattedLine(int number, Message message) {
    char line[256];
    int n = FormatStampNow(line);
    if (message == Message::kFloat) {
        const FloatValues v = FloatValuesOf(number);
        n += snprintf(line + n, sizeof(line) - n, kPrintfFloatMessage, v.worker, v.item, v.ms);
    } else {
        n += snprintf(line + n, sizeof(line) - n, kPrintfMessage, number);
    }
    line[n++] = '\n';
    return std::string(line, n);
}

const std::string& WorkDirectory() {
    return gWorkDirectory;
}

bool SetWorkDirectory(const std::string& parent) {
    mkdir(parent.c_str(), 0755);
    std::string pattern = parent + "/run-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        return false;
    }
    gWorkDirectory = pattern;
    return true;
}

void RemoveWorkDirectory() {
    if (!gWorkDirectory.empty()) {
        RemoveTree(gWorkDirectory);
    }
}

std::string NextFileName(const char* prefix) {
    return std::string(prefix) + "-" + std::to_string(gFileNumber.fetch_add(1)) + ".log";
}

long ResidentBytes() {
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm == nullptr) {
        return -1;
    }
    long size = 0;
    long resident = -1;
    if (fscanf(statm, "%ld %ld", &size, &resident) != 2) {
        resident = -1;
    }
    fclose(statm);
    return resident < 0 ? -1 : resident * sysconf(_SC_PAGESIZE);
}

}  // namespace bench
