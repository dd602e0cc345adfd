#include "LogSettings.h"

#include <filesystem>
#include <system_error>

#include "api/LogRegistry.h"
#include "log/Log.h"
#include "log/LogFiles.h"
#include "platform/Files.h"

namespace vosklog {

namespace fs = std::filesystem;

namespace {

// The log drops blanks and tabs around a directory; so do we, before the
// current directory is put in front.
std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool ResolveSettings(const Options& options, LogSettings* settings, std::string* error) {
    std::error_code failure;
    // The command line is the host's text; the log's paths are UTF-8 inside.
    const std::string directory = vosk::platform::PathFromHostText(options.directory.c_str());
    fs::path absolute = fs::absolute(fs::u8path(Trimmed(directory)), failure);
    if (failure) {
        *error = "cannot make '" + options.directory + "' absolute: " + failure.message();
        return false;
    }
    absolute = absolute.lexically_normal();
    // "/var/log/" and "/var/log" are one directory; only a root keeps its
    // separator.
    if (!absolute.has_filename() && absolute.has_relative_path()) {
        absolute = absolute.parent_path();
    }
    settings->directory = absolute.u8string();
    settings->name = vosk::platform::PathFromHostText(options.name.c_str());
    // The log forms its paths the same way.
    settings->file = settings->directory + "/" + settings->name;
    if (!settings->directory.empty() &&
        (settings->directory.back() == '/' || settings->directory.back() == '\\')) {
        settings->file = settings->directory + settings->name;
    }
    settings->backup = settings->file + ".bak";
    settings->sizeLimit = options.sizeLimitSet ? vosk::Log::ClampedSizeLimit(options.sizeLimit)
                                               : vosk::Log::kDefaultSizeLimit;
    settings->level = options.level;
    settings->keepDays = options.keepDays;
    settings->diskLimit = options.diskLimitSet
                              ? vosk::LogRegistry::ClampedDiskLimit(options.diskLimit)
                              : vosk::LogRegistry::kDefaultDiskLimit;
    return true;
}

std::string SizeLimitNotice(const Options& options, const LogSettings& settings) {
    if (!options.sizeLimitSet || settings.sizeLimit == options.sizeLimit) {
        return {};
    }
    return "size limit " + std::to_string(options.sizeLimit) +
           " is below the least a log takes; using " + std::to_string(settings.sizeLimit);
}

std::string Describe(const LogSettings& settings) {
    return "file: " + settings.file + "\nbackup: " + settings.backup +
           "\nsize limit: " + std::to_string(settings.sizeLimit) +
           "\nlevel: " + std::to_string(settings.level) +
           "\ndisk limit: " + std::to_string(settings.diskLimit) +
           "\nkeep days: " + std::to_string(settings.keepDays) + "\n";
}

bool PrepareDirectory(const std::string& directory, std::string* error) {
    // A separator at the end makes the directory itself one of the parents.
    vosk::MakeParentDirectories((directory + "/").c_str());
    if (!vosk::platform::PathIsDirectory(directory.c_str())) {
        *error = "cannot create directory '" + directory + "'";
        return false;
    }
    return true;
}

}  // namespace vosklog
