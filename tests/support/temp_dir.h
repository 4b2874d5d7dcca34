// A private folder for one test's files, removed with everything in it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <iterator>
#include <string>

namespace tolvek::test {

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        std::string t = (std::filesystem::temp_directory_path() / "tolvek-test-XXXXXX").string();
        path = ::mkdtemp(t.data());
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return (path / name).string(); }
    size_t fileCount() const { return size_t(std::distance(std::filesystem::directory_iterator(path), {})); }
};

}  // namespace tolvek::test
