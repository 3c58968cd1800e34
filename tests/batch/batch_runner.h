#pragma once
// Runs quillmerge-batch from the program folder as a user would and collects what it said.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qm::test {

struct BatchResult {
    int status = -1;
    std::string out, err;
};

inline std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// `scratch` is a folder for the captured output.
inline BatchResult RunBatch(const std::vector<std::string>& args, const std::string& scratch) {
    std::string command = ShellQuote(std::string(QM_PROGRAM_DIR) + "/quillmerge-batch");
    for (const std::string& a : args) command += " " + ShellQuote(a);
    const std::string out = scratch + "/batch.out", err = scratch + "/batch.err";
    command += " </dev/null >" + ShellQuote(out) + " 2>" + ShellQuote(err);
    BatchResult result;
    const int rc = std::system(command.c_str());
    result.status = rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    result.out = ReadWhole(out);
    result.err = ReadWhole(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return result;
}

}  // namespace qm::test
