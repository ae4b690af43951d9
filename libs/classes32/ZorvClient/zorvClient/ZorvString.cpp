#include "ZorvString.h"

#include "ZorvText.h"

namespace ZorvClientLibrary {

String::String(const char16_t* text) {
    if (text != nullptr) text_ = std::make_shared<const std::u16string>(text);
}

String::String(std::u16string text) : text_(std::make_shared<const std::u16string>(std::move(text))) {}

String String::fromUtf8(std::string_view utf8) {
    std::u16string wide;
    widen(CP_UTF8, utf8, wide);  // UTF-8 is never refused: invalid bytes become U+FFFD
    return String(std::move(wide));
}

String String::fromUtf8(const char* utf8) { return utf8 != nullptr ? fromUtf8(std::string_view(utf8)) : String(); }

std::string String::toUtf8() const {
    std::string bytes;
    narrow(CP_UTF8, 0, view(), bytes);  // a lone surrogate becomes U+FFFD
    return bytes;
}

}  // namespace ZorvClientLibrary
