// String: the client's public text, Unicode (UTF-16) that may also be null.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace ZorvClientLibrary {

// Copies share one immutable buffer, so a String is cheap to pass by value.
// A default-made String, nullptr and a null char16_t pointer are null; a
// null String differs from the empty one.
class String {
public:
    String() noexcept = default;
    String(std::nullptr_t) noexcept {}
    String(const char16_t* text);
    String(std::u16string text);

    // UTF-8 for C++ callers; an invalid sequence becomes U+FFFD. A null
    // pointer gives a null String, and a null String gives "".
    static String fromUtf8(std::string_view utf8);
    static String fromUtf8(const char* utf8);
    std::string toUtf8() const;

    bool isNull() const noexcept { return !text_; }
    // The text; empty for null.
    std::u16string_view view() const noexcept { return text_ ? std::u16string_view(*text_) : std::u16string_view(); }
    std::size_t size() const noexcept { return view().size(); }
    bool empty() const noexcept { return view().empty(); }

    friend bool operator==(const String& a, const String& b) noexcept {
        return a.isNull() == b.isNull() && a.view() == b.view();
    }

private:
    std::shared_ptr<const std::u16string> text_;
};

}  // namespace ZorvClientLibrary
