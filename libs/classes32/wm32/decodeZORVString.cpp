#include "decodeZORVString.h"

decodeZORVString::decodeZORVString(const char* text, char quote) {
    if (text == nullptr || *text == '\0') return;
    copy_ = text;
    split(quote);
}

decodeZORVString::decodeZORVString(const std::string& text, char quote)
    : decodeZORVString(text.c_str(), quote) {}

const char* decodeZORVString::token(int position) const {
    if (position < 0 || position >= count_) return "";
    return copy_.c_str() + starts_[position];
}

// Walks the copy once, turning separators and quotes into zero bytes. A byte
// that follows a zero byte begins the next token; a closing quote right after
// a zero byte begins an empty token. Stops when a 33rd token would begin.
void decodeZORVString::split(char quote) {
    char* bytes = copy_.data();
    const int length = static_cast<int>(copy_.size());
    bool insideQuotes = false;
    count_ = 1;
    starts_[0] = 0;
    auto begin = [&](int at) {
        if (count_ == maxTokens) return false;
        starts_[count_++] = at;
        return true;
    };
    for (int i = 0; i < length; ++i) {
        const bool afterZero = i > 0 && bytes[i - 1] == '\0';
        const char c = bytes[i];
        if (c == quote) {
            bytes[i] = '\0';
            if (insideQuotes && afterZero && !begin(i)) break;
            insideQuotes = !insideQuotes;
        } else if (!insideQuotes && c == ' ') {
            bytes[i] = '\0';
        } else if (afterZero && !begin(i)) {
            bytes[i] = '\0';
            break;
        }
    }
}
