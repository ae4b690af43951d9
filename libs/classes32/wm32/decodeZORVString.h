// Splits a wire text into blank-separated tokens; a stretch between quote
// characters is one token, blanks included, without its quotes.
#pragma once

#include <string>

class decodeZORVString {
public:
    static constexpr int maxTokens = 32;

    decodeZORVString(const char* text, char quote = '\'');
    decodeZORVString(const std::string& text, char quote = '\'');

    decodeZORVString(const decodeZORVString&) = delete;
    decodeZORVString& operator=(const decodeZORVString&) = delete;

    // Number of tokens found (at most maxTokens).
    int count() const { return count_; }
    // Token at a position; positions at or beyond count() read as "".
    const char* token(int position) const;
    const char* operator[](int position) const { return token(position); }

private:
    void split(char quote);

    std::string copy_;
    int starts_[maxTokens] = {};
    int count_ = 0;
};
