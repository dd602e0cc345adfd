#pragma once

namespace vosk {

// Deletes leftover ".log" and ".log.bak" files from the "log" directory
// beside the executable's directory and from its "log_files" directory.
void PurgeOldLogs();

// The same, for a given executable directory.
void PurgeOldLogsIn(const char* executableDirectory);

}  // namespace vosk
