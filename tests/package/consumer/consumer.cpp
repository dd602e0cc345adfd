// A C++ program that links the library at build time: writes one record
// into <directory>/cxx.log and reads it back.
//   consumer_cxx <absolute directory>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "VOSK_Log.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: consumer_cxx <absolute directory>\n";
        return 2;
    }
    LogHandle log = SL_CreateLog(argv[1], "cxx.log", 0, 3);
    if (log == nullptr) {
        std::cerr << "SL_CreateLog failed\n";
        return 1;
    }
    std::ostringstream text;
    text << "C++ consumer of VOSK_Log " << VOSK_LOG_VERSION_MAJOR << '.' << VOSK_LOG_VERSION_MINOR
         << '.' << VOSK_LOG_VERSION_PATCH;
    const std::string expected = text.str();
    SL_TraceLog(log, 1, "%s", expected.c_str());

    // Records are in the file when the call returns.
    const std::string path = std::string(argv[1]) + "/cxx.log";
    std::ifstream file(path);
    bool found = false;
    for (std::string line; std::getline(file, line);) {
        found = found || line.find(expected) != std::string::npos;
    }
    SL_DestroyLog(log);
    if (!found) {
        std::cerr << path << ": no record \"" << expected << "\"\n";
        return 1;
    }
    std::cout << path << ": " << expected << '\n';
    return 0;
}
