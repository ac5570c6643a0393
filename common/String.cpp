#include <tkl/String.h>
#include <tkl/Utf16.h>

#include <cstring>
#include <vector>

namespace tkl {

namespace {

const unsigned short emptyBuffer[1] = {0};

} // namespace

String::String() : units_(nullptr), length_(0) {}

String::String(const char* utf8) : units_(nullptr), length_(0) {
    if (utf8 == nullptr) {
        return;
    }
    // Characters beyond the BMP, which UCS-2 cannot hold, become U+FFFD.
    std::vector<unsigned short> units;
    utf16::appendUtf8(units, utf8, std::strlen(utf8), utf16::Units::Ucs2);
    assign(units.data(), units.size());
}

String::String(const String& other) : units_(nullptr), length_(0) {
    assign(other.units_, other.length_);
}

String::~String() {
    delete[] units_;
}

String& String::operator=(const String& other) {
    if (this != &other) {
        assign(other.units_, other.length_);
    }
    return *this;
}

String& String::operator=(const unsigned short* ucs2) {
    std::size_t length = 0;
    if (ucs2 != nullptr) {
        while (ucs2[length] != 0) {
            ++length;
        }
    }
    assign(ucs2, length);
    return *this;
}

String& String::assignBounded(const unsigned short* field, std::size_t fieldLength) {
    std::size_t length = 0;
    if (field != nullptr) {
        while (length < fieldLength && field[length] != 0) {
            ++length;
        }
    }
    assign(field, length);
    return *this;
}

// Builds the new buffer before freeing the old one, so a failed allocation
// leaves the string as it was, and assigning from its own text is safe.
void String::assign(const unsigned short* units, std::size_t length) {
    unsigned short* fresh = nullptr;
    if (length != 0) {
        fresh = new unsigned short[length + 1];
        std::memcpy(fresh, units, length * sizeof(unsigned short));
        fresh[length] = 0;
    }
    delete[] units_;
    units_ = fresh;
    length_ = length;
}

const unsigned short* String::getUCS2Buffer() const {
    return units_ ? units_ : emptyBuffer;
}

std::string String::toUtf8() const {
    return utf16::toUtf8(units_, length_);
}

String& String::operator+=(const String& other) {
    if (other.length_ == 0) {
        return *this;
    }
    const std::size_t length = length_ + other.length_;
    unsigned short* fresh = new unsigned short[length + 1];
    if (length_ != 0) {
        std::memcpy(fresh, units_, length_ * sizeof(unsigned short));
    }
    std::memcpy(fresh + length_, other.units_, other.length_ * sizeof(unsigned short));
    fresh[length] = 0;
    delete[] units_;
    units_ = fresh;
    length_ = length;
    return *this;
}

bool operator==(const String& a, const String& b) {
    return a.length_ == b.length_ &&
           (a.length_ == 0 ||
            std::memcmp(a.units_, b.units_, a.length_ * sizeof(unsigned short)) == 0);
}

String operator+(const char* prefix, const String& text) {
    String result(prefix);
    result += text;
    return result;
}

} // namespace tkl
