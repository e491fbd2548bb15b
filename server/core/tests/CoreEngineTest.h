// For the core's tests against the real engine module: a fresh copy of the demo install directory
// as the current directory for the life of a test, so that what the engine writes (the
// configuration file) and what a test removes stay in the copy.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

class ScratchInstall {
public:
    ScratchInstall() : home_(std::filesystem::current_path()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "core-install-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        std::filesystem::copy(TARNWICK_DEMO_DIRECTORY, path_,
                              std::filesystem::copy_options::recursive);
        for (const char* stale : {"tarnwick/server.cfg", "tarnwick/admin-audit.log"})
            std::filesystem::remove(path_ / stale);
        std::filesystem::remove_all(path_ / "tarnwick/logs");
        std::filesystem::current_path(path_);
    }
    ~ScratchInstall() {
        std::filesystem::current_path(home_);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchInstall(const ScratchInstall&) = delete;
    ScratchInstall& operator=(const ScratchInstall&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path home_, path_;
};
