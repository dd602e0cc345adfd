// A small host: a few threads log into two files, one log changes its level,
// raw text goes in, one log is destroyed, and the library unloads at exit.
//
// The logs land beside this program, in log_files/ and in logs/.
#include <cstdio>
#include <thread>
#include <vector>

#include "VOSK_Log.h"

int main() {
    LogHandle app = SL_CreateLog(nullptr, "demo.log", 0, 3);    // <exe dir>/log_files/demo.log
    LogHandle audit = SL_CreateLog("logs", "audit.log", 0, 1);  // <exe dir>/logs/audit.log
    if (app == nullptr || audit == nullptr) {
        fprintf(stderr, "could not create the logs\n");
        return 1;
    }

    SL_TraceLog(app, 1, "demo host started, %d worker threads", 3);
    std::vector<std::thread> workers;
    for (int t = 0; t < 3; ++t) {
        workers.emplace_back([app, t] {
            for (int i = 0; i < 5; ++i) {
                SL_TraceLog(app, 2, "worker %d: step %d, progress %5.1f%%", t, i, i * 25.0);
                SL_TraceLog(app, 4, "worker %d: too detailed, filtered out", t);
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }

    SL_TraceLog(audit, 1, "user %s logged in", "alice");
    SL_TraceLog(audit, 2, "filtered out: level 2 is above the threshold 1");
    SL_ChangeLevel(audit, 2);
    SL_TraceLog(audit, 2, "now level 2 records are kept");
    SL_Write(audit, "raw text, no stamp and no line end\n");
    SL_TraceLog(audit, 1, "multi-line record:\n  second line\n  third line");

    SL_DestroyLog(audit);  // carried out by the library's thread
    SL_TraceLog(app, 1, "demo host done");
    return 0;  // unloading the library flushes and closes what is left
}
