// Helpers for tests that work on real files: a fresh directory that is
// removed with everything in it, whole-file reads, and the line end that
// the C runtime's text mode stores on this system.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>

namespace vosk::test {

class TempDir {
  public:
    TempDir() {
        std::random_device random;
        auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
        std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::ostringstream name;
            name << "vosk_test_" << std::hex << random() << "_" << tick << "_" << attempt;
            std::error_code ec;
            if (std::filesystem::create_directory(base / name.str(), ec)) {
                path_ = base / name.str();
                return;
            }
        }
        ADD_FAILURE() << "cannot create a temporary directory in " << base;
    }
    ~TempDir() {
        std::error_code ec;
        // Entries a test made read-only must not stop the clean-up.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            std::error_code ignored;
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The directory, or an entry beneath it, as a generic ("/"-separated) string.
    std::string Str(const std::string& sub = std::string()) const {
        return sub.empty() ? path_.generic_string() : (path_ / sub).generic_string();
    }

  private:
    std::filesystem::path path_;
};

// The file's bytes as they are on disk; empty when it cannot be read.
inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// What a line feed written in the runtime's text mode becomes on disk:
// "\r\n" on Windows, "\n" elsewhere. Found by writing one, not assumed.
inline std::string NativeLineEnd() {
    static const std::string lineEnd = [] {
        TempDir dir;
        std::filesystem::path probe = dir.Path() / "probe.txt";
        FILE* f = fopen(probe.string().c_str(), "w");
        if (f == nullptr) {
            return std::string("\n");
        }
        fputc('\n', f);
        fclose(f);
        return ReadBytes(probe);
    }();
    return lineEnd;
}

// Text as it is on disk after being written in text mode.
inline std::string OnDisk(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += NativeLineEnd();
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace vosk::test
