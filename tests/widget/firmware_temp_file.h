#pragma once

#include <unistd.h>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// A firmware image in a folder of its own, removed with it.
class TempFirmware {
public:
    explicit TempFirmware(const std::vector<std::uint8_t>& bytes, const std::string& name = "image.bin") {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantor-fw-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        folder_ = pattern;
        Add(name, bytes);
        path_ = (folder_ / name).string();
    }
    ~TempFirmware() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TempFirmware(const TempFirmware&) = delete;
    TempFirmware& operator=(const TempFirmware&) = delete;

    void Add(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        std::ofstream out(folder_ / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    const std::string& Path() const { return path_; }
    std::string Folder() const { return folder_.string(); }

private:
    std::filesystem::path folder_;
    std::string path_;
};

// Bytes that differ from page to page and within a page, so a page sent twice or out of order shows.
inline std::vector<std::uint8_t> FirmwareBytes(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 64) & 0xFF);
    return bytes;
}
