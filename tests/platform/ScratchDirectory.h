// A scratch directory for the host tests, removed with everything in it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace hosttest {

class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern = testing::TempDir() + "host_XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
        else
            ADD_FAILURE() << "cannot make a scratch directory from " << pattern;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    void WriteFile(const std::filesystem::path& relative, const std::string& contents) const {
        std::filesystem::create_directories((path_ / relative).parent_path());
        std::ofstream(path_ / relative) << contents;
    }
    void Link(const std::filesystem::path& relative, const std::filesystem::path& target) const {
        std::filesystem::create_directories((path_ / relative).parent_path());
        std::filesystem::create_symlink(target, path_ / relative);
    }

private:
    std::filesystem::path path_;
};

}  // namespace hosttest
