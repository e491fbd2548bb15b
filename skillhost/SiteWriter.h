// The files of the stats site: each written whole to a temporary name and renamed over the old
// one, so a reader (a web server, a browser on the folder) never sees half a page; a file whose
// text has not changed since this writer last wrote it is left alone.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

class SiteWriter {
public:
    // Throws HostError when the folder cannot be made.
    explicit SiteWriter(std::string dir);

    // `name` is relative to the folder and may hold one level of subfolder. Throws HostError.
    void Write(const std::string& name, const std::string& text);
    std::size_t Written() const { return written; }

private:
    std::string dir;
    std::unordered_map<std::string, std::size_t> hashes;
    std::size_t written = 0;
};
