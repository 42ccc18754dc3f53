#include "stdin_feed.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

StdinFeed::StdinFeed(const std::string& text) {
    char path[] = "/tmp/stdin_feed_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return;
    unlink(path);
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    lseek(fd, 0, SEEK_SET);
    saved_stdin_ = dup(STDIN_FILENO);
    dup2(fd, STDIN_FILENO);
    close(fd);
    clearerr(stdin);
}

StdinFeed::~StdinFeed() {
    if (saved_stdin_ < 0) return;
    dup2(saved_stdin_, STDIN_FILENO);
    close(saved_stdin_);
    clearerr(stdin);
}
