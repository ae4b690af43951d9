// Sets or removes one environment variable for the life of the object.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace qxtest {

class ScopedEnv {
public:
    // Remembers the variable's value, to restore it at the end.
    explicit ScopedEnv(std::string name) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) old_ = old;
    }
    // ... and sets it (nullopt removes it).
    ScopedEnv(std::string name, const std::optional<std::string>& value) : ScopedEnv(std::move(name)) { put(value); }
    ~ScopedEnv() { put(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void set(const std::string& value) { put(value); }
    void unset() { put(std::nullopt); }

private:
    void put(const std::optional<std::string>& value) {
#ifdef _WIN32
        _putenv_s(name_.c_str(), value ? value->c_str() : "");
#else
        if (value) setenv(name_.c_str(), value->c_str(), 1);
        else unsetenv(name_.c_str());
#endif
    }
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace qxtest
