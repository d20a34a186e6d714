// Cabinet files written through libgcab: one folder, MSZIP or stored.
#pragma once

#include <ctime>
#include <memory>
#include <string>

namespace fg::arc {

class CabWriter {
public:
    explicit CabWriter(bool mszip);
    ~CabWriter();
    CabWriter(const CabWriter&) = delete;
    CabWriter& operator=(const CabWriter&) = delete;

    // `name` is the stored name ("/" separated; written with "\" as cabinets keep it).
    void addFile(const std::string& name, const std::string& path);
    void addBytes(const std::string& name, std::string bytes, std::time_t mtime);
    // Writes the cabinet to the file, replacing it, and syncs it. Raises fg::Error 75.
    void write(const std::string& path);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace fg::arc
