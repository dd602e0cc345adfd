#include "LogSettings.h"

#include <filesystem>
#include <system_error>

#include "api/LogRegistry.h"
#include "log/Log.h"
#include "log/LogPaths.h"
#include "platform/Files.h"
#include "text/StringBuffer.h"

namespace vosklog {

namespace fs = std::filesystem;

bool ResolveSettings(const Options& options, LogSettings* settings, std::string* error) {
    std::error_code failure;
    // The command line is the host's text; the log's paths are UTF-8 inside.
    const std::string directory = vosk::platform::PathFromHostText(options.directory.c_str());
    // The log's own reading of the text (blanks dropped, the default when
    // blank), with no executable directory: a relative text stays relative,
    // and is taken from the current directory below.
    vosk::StringBuffer resolved;
    vosk::ResolveDirectory(directory.c_str(), "", resolved);
    fs::path absolute = fs::absolute(fs::u8path(resolved.CStr()), failure);
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
    // The log joins "<directory>/<name>" too; only a root, which keeps its
    // separator, is not given a second one here, so that it reads cleanly.
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
    settings->stamp = options.stamp;
    settings->compress = options.compress;
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
