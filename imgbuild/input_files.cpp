#include "input_files.h"

#include <algorithm>
#include <cstring>

namespace {

class FileInput : public TextInput {
public:
    explicit FileInput(std::FILE* file) : file_(file) {}
    ~FileInput() override { std::fclose(file_); }
    FileInput(const FileInput&) = delete;
    FileInput& operator=(const FileInput&) = delete;

    bool read_piece(char* piece, int capacity) override { return std::fgets(piece, capacity, file_) != nullptr; }
    bool failed() const override { return std::ferror(file_) != 0; }

private:
    std::FILE* file_;
};

class StringInput : public TextInput {
public:
    explicit StringInput(const std::string& text) : text_(text) {}

    bool read_piece(char* piece, int capacity) override {
        if (capacity < 2 || position_ >= text_.size()) return false;
        const char* start = text_.data() + position_;
        const std::size_t window = std::min(static_cast<std::size_t>(capacity - 1), text_.size() - position_);
        const void* line_feed = std::memchr(start, '\n', window);
        const std::size_t length = line_feed ? static_cast<const char*>(line_feed) - start + 1 : window;
        std::memcpy(piece, start, length);
        piece[length] = '\0';
        position_ += length;
        return true;
    }

private:
    const std::string& text_;
    std::size_t position_ = 0;
};

}  // namespace

std::unique_ptr<TextInput> DiskFiles::open(const std::string& name) const {
    std::FILE* file = std::fopen(name.c_str(), "r");
    if (file == nullptr) return nullptr;
    // A directory opens on Linux; its first read fails, and that is reported.
    return std::make_unique<FileInput>(file);
}

std::unique_ptr<TextInput> MemoryFiles::open(const std::string& name) const {
    const auto found = files_.find(name);
    if (found == files_.end()) return nullptr;
    return std::make_unique<StringInput>(found->second);
}
