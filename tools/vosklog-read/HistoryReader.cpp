#include "HistoryReader.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace vosklogread {

namespace {

// How far a file's records may stray from its name's time: the name is
// the second (or millisecond) of its last write, and threads stamp their
// records a little before they write them.
constexpr int64_t kNameSlackMs = 2000;
// One read call's worth; a file written faster than it is read is left
// for a moment after this many bytes, to look at the others.
constexpr size_t kChunk = 64 * 1024;
constexpr int64_t kDrainLimit = 32 * 1024 * 1024;

}  // namespace

HistoryReader::HistoryReader(FileSet* files, LocalZone* zone, const TimeRange& range,
                             int64_t windowMs, RecordOutput* output)
    : files_(files),
      range_(range),
      windowMs_(windowMs),
      output_(output),
      merger_(windowMs, [output](const Record& record) { output->Write(record); }),
      reader_(zone, [this](Record&& record) { Take(std::move(record)); }) {}

void HistoryReader::Take(Record&& record) {
    if (range_.hasUntil && record.timeMs >= range_.until + windowMs_) {
        pastRange_ = true;
    }
    if (range_.Contains(record.timeMs)) {
        merger_.Add(std::move(record));
    }
}

void HistoryReader::ReadAll(bool keepLive) {
    const int64_t margin = std::max<int64_t>(windowMs_, 0) + kNameSlackMs;
    std::vector<LogFile> found = files_->Discover();
    int64_t previousTime = INT64_MIN;
    bool needHint = true;
    for (LogFile& file : found) {
        int64_t hint = previousTime != INT64_MIN ? previousTime : file.status.writeTimeMs;
        if (file.kind == FileKind::kArchive) {
            KnownArchived(file.path);
            if (file.hasCompressed) {
                KnownArchived(file.path + ".gz");
            }
            // A file's records lie between the name times of the one
            // before it and its own.
            const int64_t first = previousTime == INT64_MIN ? INT64_MIN : previousTime - margin;
            const bool meets = range_.Meets(first, file.timeMs + margin);
            hint = previousTime != INT64_MIN ? previousTime : file.timeMs;
            previousTime = file.timeMs;
            if (!meets) {
                needHint = true;
                continue;
            }
        }
        if (needHint) {
            reader_.SetStartHint(hint);
            needHint = false;
        }
        std::unique_ptr<FileInput> input = FileInput::Open(&file);
        if (input == nullptr || ReadBefore(input.get())) {
            continue;  // pruned meanwhile, or met twice while it moved
        }
        if (file.kind != FileKind::kLive) {
            ReadWhole(std::move(input));
            continue;
        }
        Drain(input.get());
        reader_.FlushRecord();
        if (keepLive) {
            current_ = std::move(input);
        }
    }
}

bool HistoryReader::FollowOnce() {
    bool any = false;
    if (current_ != nullptr) {
        if (current_->RestartIfShorter()) {
            reader_.FlushRecord();
        }
        any = Drain(current_.get());
    }
    vosk::platform::FileStatus live;
    const bool hasLive = vosk::platform::PathFileStatus(files_->LivePath().c_str(), &live);
    if (!hasLive && current_ == nullptr) {
        return any;
    }
    if (current_ != nullptr && hasLive && IdOf(live.id) == IdOf(current_->Id())) {
        return any;
    }
    // The live file is another one now: the one read so far was moved
    // aside, after its last write. Its end, then whatever came after it.
    if (current_ != nullptr) {
        Drain(current_.get());
        reader_.EndFile();
        Remember(*current_);
        current_.reset();
        any = true;
    }
    for (LogFile& file : files_->Discover()) {
        std::unique_ptr<FileInput> input;
        if (AlreadyRead(&file, &input)) {
            continue;
        }
        any = true;
        if (file.kind == FileKind::kLive) {
            Drain(input.get());
            current_ = std::move(input);
        } else {
            ReadWhole(std::move(input));
        }
    }
    return any;
}

bool HistoryReader::KnownArchived(const std::string& path) {
    vosk::platform::FileStatus status;
    if (!vosk::platform::PathFileStatus(path.c_str(), &status)) {
        return false;
    }
    const auto found = knownArchived_.find(path);
    if (found != knownArchived_.end() && found->second == IdOf(status.id)) {
        return true;
    }
    knownArchived_[path] = IdOf(status.id);
    return false;
}

bool HistoryReader::AlreadyRead(LogFile* file, std::unique_ptr<FileInput>* input) {
    if (file->kind == FileKind::kArchive) {
        if (KnownArchived(file->path)) {
            return true;
        }
        if (file->hasCompressed) {
            KnownArchived(file->path + ".gz");
        }
        // Read before under another name, then compressed.
        ContentKey key;
        if (file->compressed && CompressedContentKey(file->path, &key) &&
            readKeys_.count(key) != 0) {
            return true;
        }
    }
    *input = FileInput::Open(file);
    return *input == nullptr || ReadBefore(input->get());
}

bool HistoryReader::ReadBefore(FileInput* input) {
    // The plain file may have been compressed and deleted between the
    // listing and the open, which then took its .gz: a new identity, so
    // only what it holds tells that it was read.
    ContentKey key;
    if (input->Compressed() && CompressedContentKey(input->Path(), &key) &&
        readKeys_.count(key) != 0) {
        return true;
    }
    return ReadUnderIdentity(input);
}

bool HistoryReader::Drain(FileInput* input) {
    static char buffer[kChunk];
    bool any = false;
    int64_t total = 0;
    while (total < kDrainLimit) {
        const long n = input->Read(buffer, sizeof(buffer));
        if (n > 0) {
            reader_.Add(buffer, static_cast<size_t>(n));
            total += n;
            any = true;
            continue;
        }
        if (n < 0) {
            ++damaged_;
            std::fprintf(stderr, "vosklog-read: %s: damaged; read as far as it goes\n",
                         input->Path().c_str());
        }
        break;
    }
    return any;
}

void HistoryReader::ReadWhole(std::unique_ptr<FileInput> input) {
    while (Drain(input.get())) {
    }
    reader_.EndFile();
    Remember(*input);
}

void HistoryReader::Remember(const FileInput& input) {
    readIds_[IdOf(input.Id())] = input.Head();
    readKeys_.insert(input.Key());
}

bool HistoryReader::ReadUnderIdentity(FileInput* input) {
    const auto found = readIds_.find(IdOf(input->Id()));
    // An empty file read again gives nothing again.
    return found != readIds_.end() && !found->second.empty() && input->BeginsWith(found->second);
}

void HistoryReader::Idle() {
    reader_.FlushRecord();
    merger_.Flush();
    output_->Flush();
}

void HistoryReader::Finish() {
    Idle();
}

}  // namespace vosklogread
