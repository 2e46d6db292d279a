#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// A directory of its own for one test, removed with everything in it.
struct temp_dir {
    std::filesystem::path path;

    temp_dir() {
        std::string name = (std::filesystem::temp_directory_path() / "tarn-unit-XXXXXX").string();
        path = mkdtemp(name.data());
    }
    ~temp_dir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    std::string operator/(const std::string& relative) const { return (path / relative).string(); }
};
