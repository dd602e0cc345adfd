// Runs the vosklog program built beside the tests, as a user does: from a
// command line, standard input from a file, its output into files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "support/TempDir.h"

namespace vosklog::test {

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// std::system gives the exit code itself on Windows and a wait status, the
// code in its second byte, on POSIX; the program's codes are small.
inline int ExitCodeOf(int status) {
    return status > 255 ? status >> 8 : status;
}

class ToolRunner {
  public:
    // A copy of the program in a directory of its own, so that what the
    // program might do beside its executable shows (and the command line
    // needs no quoting: the temporary directory holds no blanks).
    ToolRunner() {
        bin_ = dir_.Path() / "bin";
        std::filesystem::create_directories(bin_);
        program_ = bin_ / std::filesystem::path(VOSKLOG_PROGRAM).filename();
        std::error_code failure;
        std::filesystem::copy_file(VOSKLOG_PROGRAM, program_, failure);
        if (failure) {
            ADD_FAILURE() << "cannot copy " << VOSKLOG_PROGRAM << ": " << failure.message();
        }
    }

    const std::filesystem::path& Bin() const { return bin_; }

    // Standard input from a file; with piped, from a pipe that a second
    // copy of the program feeds with --tee (the one feeder both systems
    // have), into a log of its own beside the files here.
    ToolResult Run(const std::string& arguments, const std::string& input, bool piped = false) {
        const std::filesystem::path in = dir_.Path() / "in.txt";
        const std::filesystem::path out = dir_.Path() / "out.txt";
        const std::filesystem::path err = dir_.Path() / "err.txt";
        vosk::test::WriteBytes(in, input);
        std::string feeder;
        if (piped) {
            feeder = program_.string() + " --tee -l 2147483647 -n feeder.log -d " +
                     dir_.Path().string() + " < " + in.string() + " | ";
        }
        const std::string command = feeder + program_.string() + " " + arguments +
                                    (piped ? "" : " < " + in.string()) + " > " + out.string() +
                                    " 2> " + err.string();
        if (dir_.Path().string().find(' ') != std::string::npos) {
            ADD_FAILURE() << "temporary path with blanks: " << dir_.Path();
        }
        ToolResult result;
        result.exitCode = ExitCodeOf(std::system(command.c_str()));
        if (result.exitCode < 0) {
            ADD_FAILURE() << "cannot run: " << command;
        }
        result.out = vosk::test::ReadBytes(out);
        result.err = vosk::test::ReadBytes(err);
        return result;
    }

  private:
    vosk::test::TempDir dir_;
    std::filesystem::path bin_;
    std::filesystem::path program_;
};

}  // namespace vosklog::test
