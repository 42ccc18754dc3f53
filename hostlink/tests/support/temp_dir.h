#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// A private directory for one test's files, removed afterwards.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/hostlink-test-XXXXXX";
        if (mkdtemp(pattern)) dir_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string file(const std::string& name, const std::string& content) const {
        write(path(name), content);
        return path(name);
    }
    std::string file(const std::string& name, const std::vector<uint8_t>& content) const {
        return file(name, std::string(content.begin(), content.end()));
    }
    static void write(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    static std::string contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string dir_;
};
