// zorvctl's output: one plain line for people, or one JSON object per line
// for scripts, and the exit codes.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zorvctl {

enum Exit : int { done = 0, usage = 1, noHub = 2, refused = 3, timedOut = 4 };

// One field of a JSON line: a number is written bare, a text quoted.
struct Field {
    std::string key;
    std::string value;
    bool number = false;
};

inline Field num(std::string key, long long value) { return {std::move(key), std::to_string(value), true}; }
inline Field boolean(std::string key, bool value) { return {std::move(key), value ? "true" : "false", true}; }
inline Field text(std::string key, std::string value) { return {std::move(key), std::move(value), false}; }

class Output {
public:
    explicit Output(bool json = false) : json_(json) {}
    bool json() const { return json_; }
    // Prints the plain line, or the fields as one JSON object.
    void line(const std::string& plain, const std::vector<Field>& fields) const;

private:
    bool json_;
};

// The text as a JSON string, quotes included.
std::string jsonString(const std::string& text);

// The revertive lines both watch and the commands print.
void printRouter(const Output& out, unsigned device, unsigned dest, int source);
void printInfo(const Output& out, unsigned device, unsigned slot, const std::string& value);
void printGpi(const Output& out, unsigned device, unsigned index, bool state);

}  // namespace zorvctl
