// String: the client's public text, Unicode (UTF-16) that may also be null.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace ZorvClientLibrary {

/// The client's public text: UTF-16 that may also be null.
///
/// Copies share one immutable buffer, so a String is cheap to pass by value.
/// A default-made String, nullptr and a null char16_t pointer are null; a
/// null String differs from the empty one. `u"..."` and `std::u16string`
/// convert implicitly.
class String {
public:
    String() noexcept = default;          ///< A null String.
    String(std::nullptr_t) noexcept {}    ///< A null String.
    String(const char16_t* text);         ///< A copy of the text; a null pointer gives a null String.
    String(std::u16string text);          ///< Takes the text.

    /// From UTF-8; an invalid sequence becomes U+FFFD.
    static String fromUtf8(std::string_view utf8);
    /// From UTF-8; a null pointer gives a null String.
    static String fromUtf8(const char* utf8);
    /// The text as UTF-8; a null String gives "".
    std::string toUtf8() const;

    /// Whether this is the null String.
    bool isNull() const noexcept { return !text_; }
    /// The text; empty for null.
    std::u16string_view view() const noexcept { return text_ ? std::u16string_view(*text_) : std::u16string_view(); }
    /// The number of UTF-16 units.
    std::size_t size() const noexcept { return view().size(); }
    /// Whether the text is empty (so also when null).
    bool empty() const noexcept { return view().empty(); }

    /// Equal when both are null, or both are not null and hold the same text.
    friend bool operator==(const String& a, const String& b) noexcept {
        return a.isNull() == b.isNull() && a.view() == b.view();
    }

private:
    std::shared_ptr<const std::u16string> text_;
};

}  // namespace ZorvClientLibrary
