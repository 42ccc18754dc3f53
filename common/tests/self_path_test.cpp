#include <gtest/gtest.h>

#include <unistd.h>

#include "self_path.h"

TEST(SelfPath, IsTheRunningProgramsAbsolutePath) {
    const std::string path = self_path();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_EQ(path.substr(path.size() - 12), "common_tests");
    EXPECT_EQ(access(path.c_str(), X_OK), 0);
}

TEST(SelfPath, DirectoryOf) {
    const std::pair<const char*, const char*> cases[] = {
        {"/opt/ndx470/Tool/hostlink", "/opt/ndx470/Tool"}, {"/hostlink", "/"}, {"hostlink", ""}, {"a/b", "a"}};
    for (auto [path, directory] : cases) EXPECT_EQ(directory_of(path), directory) << path;
}
