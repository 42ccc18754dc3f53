#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <string>

// One opened hex input, handed out the way a text line reader hands it out:
// at most capacity-1 characters per piece, a piece ending after a line feed.
class TextInput {
public:
    virtual ~TextInput() = default;
    // False at the end of the input; otherwise `piece` holds a NUL-terminated piece.
    virtual bool read_piece(char* piece, int capacity) = 0;
    // True when reading stopped on an error rather than at the end.
    virtual bool failed() const { return false; }
};

// Where the builder finds the files named on its command line. The program
// reads the disk; tests and the fuzzer hand in file contents directly.
class InputFiles {
public:
    virtual ~InputFiles() = default;
    // nullptr when the file cannot be opened for reading (one that opens but
    // cannot be read, a directory say, reports it through failed()).
    virtual std::unique_ptr<TextInput> open(const std::string& name) const = 0;
};

class DiskFiles : public InputFiles {
public:
    std::unique_ptr<TextInput> open(const std::string& name) const override;
};

class MemoryFiles : public InputFiles {
public:
    void add(const std::string& name, std::string contents) { files_[name] = std::move(contents); }
    std::unique_ptr<TextInput> open(const std::string& name) const override;

private:
    std::map<std::string, std::string> files_;
};
