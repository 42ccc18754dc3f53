#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// One directory for the whole test run, removed when the run ends.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tabgen_test_XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::filesystem::path scratch_directory() {
    static const ScratchDirectory directory;
    return directory.path();
}

std::string read_whole_file(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

std::string write_scratch_file(const std::string& name, const std::string& contents) {
    const std::filesystem::path path = scratch_directory() / name;
    std::ofstream(path, std::ios::binary) << contents;
    return path.string();
}

ProgramRun run_tabgen_binary(const std::string& arguments, const std::string& prm_inf) {
    static int run_number = 0;
    const std::filesystem::path directory = scratch_directory() / ("run" + std::to_string(++run_number));
    std::filesystem::create_directories(directory);
    if (!prm_inf.empty()) std::ofstream(directory / "prm.inf", std::ios::binary) << prm_inf;

    const std::string command = "cd '" + directory.string() + "' && '" TABGEN_BINARY "' " + arguments +
                                " >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    ProgramRun run;
    run.exit_code = WIFEXITED(status) ? static_cast<int8_t>(WEXITSTATUS(status)) : -999;
    run.out = read_whole_file(directory / "out.txt");
    run.err = read_whole_file(directory / "err.txt");
    return run;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}
