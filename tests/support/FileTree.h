// Small helpers that lay out and inspect trees of real files for tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace vosk::test {

inline void MakeDir(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
}

// Missing parent directories are made first.
inline void MakeFile(const std::filesystem::path& path, const std::string& content = "x") {
    MakeDir(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// Takes the write permission away from everyone: a file that cannot be
// changed, a directory whose entries cannot be added or removed.
inline void MakeReadOnly(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::permissions(path,
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove, ec);
}

// True for anything at the path itself, a dangling link included.
inline bool Exists(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// Entries directly inside a directory, links included; 0 when it is missing.
inline int CountEntries(const std::filesystem::path& path) {
    std::error_code ec;
    int n = 0;
    for (auto it = std::filesystem::directory_iterator(path, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        ++n;
    }
    return n;
}

// A symbolic link to a directory or a file. False where links cannot be
// made (Windows without the privilege, some emulators).
inline bool MakeLink(const std::filesystem::path& target, const std::filesystem::path& link,
                     bool toDirectory) {
    std::error_code ec;
    if (toDirectory) {
        std::filesystem::create_directory_symlink(target, link, ec);
    } else {
        std::filesystem::create_symlink(target, link, ec);
    }
    return !ec && std::filesystem::is_symlink(std::filesystem::symlink_status(link, ec));
}

}  // namespace vosk::test
