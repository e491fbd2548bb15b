// A file with given contents that is removed again at the end of the test.
#pragma once

#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <string>

class TempFile {
public:
    explicit TempFile(const std::string& contents) {
        char name[] = "/tmp/skillhost-test-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        path = name;
        std::ofstream(path, std::ios::binary) << contents;
    }
    ~TempFile() { std::remove(path.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    std::string path;
};
