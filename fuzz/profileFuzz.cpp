// The profile functions on a file of any content, with section, key and value
// names from the input too: reading lists and values into buffers of every
// size, then setting, removing and reading back. A read never writes past its
// buffer and always terminates it; a plain key that was set reads back as set,
// and one that was removed reads as the default.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <windows.h>

#include "fuzzInput.h"

namespace {

// A file in a directory of this process below the temporary directory,
// removed at exit.
const std::string& profileFile() {
    static const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("qx-profile-fuzz-" + std::to_string(GetCurrentProcessId()));
    static const std::string file = [] {
        std::filesystem::create_directories(directory);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(directory, ignored);
        });
        return (directory / "fuzz.ini").string();
    }();
    return file;
}

// Reads into a buffer of exactly `size` bytes; the text up to the length returned.
std::string read(const char* section, const char* key, const char* fallback, DWORD size) {
    std::vector<char> buffer(size, 'x');
    const DWORD length = GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, profileFile().c_str());
    if (size == 0) return {};
    if (length >= size || buffer[length] != '\0') std::abort();
    return std::string(buffer.data(), length);
}

// A name or value that the file keeps as it is: no line break, nothing the
// line syntax gives meaning, no blanks or quotes at its ends.
bool plain(const std::string& text, bool isValue) {
    if (text.empty()) return isValue;
    if (text.find_first_of(isValue ? "\r\n" : "\r\n[]=;\"'") != std::string::npos) return false;
    const char first = text.front(), last = text.back();
    if (first == ' ' || first == '\t' || last == ' ' || last == '\t') return false;
    return !isValue || !((first == '"' || first == '\'') && text.size() >= 2 && last == first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qxfuzz::FuzzInput input(data, size);
    const DWORD bufferSize = input.byte() + input.byte() % 2 * 256u;
    // Names end at their first zero byte, as C strings do.
    const std::string section = input.line().c_str();
    const std::string key = input.line().c_str();
    const std::string value = input.line().c_str();
    const std::vector<unsigned char> content = input.bytes(size);
    const char* file = profileFile().c_str();
    {
        std::ofstream out(profileFile(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    }

    read(nullptr, nullptr, nullptr, bufferSize);
    read(section.c_str(), nullptr, nullptr, bufferSize);
    read(section.c_str(), key.c_str(), value.c_str(), bufferSize);
    GetPrivateProfileIntA(section.c_str(), key.c_str(), 7, file);

    const bool checked = plain(section, false) && plain(key, false) && plain(value, true);
    const DWORD room = 1024;  // more than any value here needs
    if (WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file) && checked &&
        read(section.c_str(), key.c_str(), "default", room) != value) {
        std::abort();
    }
    if (WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, file) && checked &&
        read(section.c_str(), key.c_str(), "default", room) != "default") {
        std::abort();
    }
    if (WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, file) && checked &&
        !read(section.c_str(), nullptr, nullptr, room).empty()) {
        std::abort();
    }
    read(nullptr, nullptr, nullptr, bufferSize);
    return 0;
}
