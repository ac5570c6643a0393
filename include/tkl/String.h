#pragma once

#include <tkl/CommonExport.h>

#include <cstddef>
#include <string>

namespace tkl {

/// Text held as UCS-2 code units (one unsigned short per character, Basic
/// Multilingual Plane only), always NUL-terminated so that it can be handed
/// to platform calls as is.
///
/// Ownership: a String owns its buffer; copies are deep. An empty String owns
/// no buffer and getUCS2Buffer() then returns a shared, read-only NUL.
class TKL_COMMON_API String {
public:
    String();
    /// Decodes UTF-8. Characters outside the BMP and invalid byte sequences
    /// become U+FFFD. A null pointer gives the empty string.
    String(const char* utf8);
    String(const String& other);
    ~String();

    String& operator=(const String& other);
    /// Copies UCS-2 text up to its terminator. A null pointer gives the empty string.
    String& operator=(const unsigned short* ucs2);

    /// Copies a fixed-length UCS-2 field: stops at the first NUL or after
    /// `fieldLength` units, whichever comes first, so a field that the
    /// producer filled to its end without a terminator is never overread.
    String& assignBounded(const unsigned short* field, std::size_t fieldLength);

    /// The text followed by a NUL; valid until the String changes or dies.
    const unsigned short* getUCS2Buffer() const;

    /// Number of UCS-2 units, terminator excluded.
    std::size_t size() const { return length_; }
    bool empty() const { return length_ == 0; }

    /// The text as UTF-8. Units are UTF-16 here: a surrogate pair (as the
    /// platform stores a character outside the BMP) becomes that one
    /// character, an unpaired surrogate becomes U+FFFD.
    std::string toUtf8() const;

    String& operator+=(const String& other);

    friend TKL_COMMON_API bool operator==(const String& a, const String& b);
    friend bool operator!=(const String& a, const String& b) { return !(a == b); }

private:
    void assign(const unsigned short* units, std::size_t length);

    unsigned short* units_; // null exactly when length_ == 0
    std::size_t length_;
};

/// The text `prefix`, then `text`.
TKL_COMMON_API String operator+(const char* prefix, const String& text);

} // namespace tkl
