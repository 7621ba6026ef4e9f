// A fresh, empty working folder for one test: the log lives in the current
// folder, so each test that touches it runs inside one of these.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

namespace testing_host {

class TempDir {
public:
    TempDir() : previous_(std::filesystem::current_path()) {
        std::random_device seed;
        std::mt19937 random(seed());
        path_ = std::filesystem::temp_directory_path() / ("porresku-test-" + std::to_string(random()));
        std::filesystem::create_directories(path_);
        std::filesystem::current_path(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

inline std::string ReadFileBytes(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFileBytes(const std::string& name, std::string_view bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testing_host
