#include "input_files.h"

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
        std::size_t length = 0;
        while (length + 1 < static_cast<std::size_t>(capacity) && position_ + length < text_.size()) {
            const char c = text_[position_ + length++];
            if (c == '\n') break;
        }
        std::memcpy(piece, text_.data() + position_, length);
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
