// One file of a log's history as found: where, what kind, and for the
// backup and the live file the file itself, opened when found (by the time
// it is read, its name may belong to the next one).
#pragma once

#include <cstdint>
#include <string>

#include "platform/FileRead.h"

namespace vosklogread {

enum class FileKind { kArchive, kBackup, kLive };

class LogFile {
  public:
    LogFile() = default;
    ~LogFile() { Close(); }
    LogFile(LogFile&& other) noexcept { *this = std::move(other); }
    LogFile& operator=(LogFile&& other) noexcept;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    FileKind kind = FileKind::kArchive;
    std::string path;            // the plain file's path for an archived file found plain
    bool compressed = false;     // path is a ".gz"
    bool hasCompressed = false;  // found plain, with its ".gz" beside it
    int64_t timeMs = 0;          // an archived file's name time: its last record
    int sequence = 0;

    // The descriptor opened when found (-1: none yet) and what it was then.
    int fd = -1;
    vosk::platform::FileStatus status{};

    // Hands the descriptor over; -1 when there is none.
    int TakeFd();
    void Close();
};

}  // namespace vosklogread
