#include <tkl/String.h>

#include <cstring>
#include <vector>

namespace tkl {

namespace {

const unsigned short emptyBuffer[1] = {0};
constexpr unsigned short replacementCharacter = 0xFFFD;

// Decodes UTF-8 into UCS-2. Anything that is not a well-formed sequence for a
// BMP scalar value (truncated, overlong, surrogate, above U+FFFF, stray
// continuation byte) yields one U+FFFD per offending sequence.
std::vector<unsigned short> decodeUtf8(const unsigned char* in) {
    std::vector<unsigned short> out;
    while (*in) {
        const unsigned char lead = *in;
        if (lead < 0x80) {
            out.push_back(lead);
            ++in;
            continue;
        }
        int trailing;
        unsigned long value;
        unsigned long minimum;
        if ((lead & 0xE0) == 0xC0) {
            trailing = 1, value = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            trailing = 2, value = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            trailing = 3, value = lead & 0x07, minimum = 0x10000;
        } else {
            out.push_back(replacementCharacter);
            ++in;
            continue;
        }
        ++in;
        int consumed = 0;
        while (consumed < trailing && (*in & 0xC0) == 0x80) {
            value = (value << 6) | (*in & 0x3F);
            ++in;
            ++consumed;
        }
        const bool wellFormed = consumed == trailing && value >= minimum &&
                                !(value >= 0xD800 && value <= 0xDFFF) && value <= 0xFFFF;
        out.push_back(wellFormed ? static_cast<unsigned short>(value) : replacementCharacter);
    }
    return out;
}

} // namespace

String::String() : units_(nullptr), length_(0) {}

String::String(const char* utf8) : units_(nullptr), length_(0) {
    if (utf8 == nullptr) {
        return;
    }
    const std::vector<unsigned short> units =
        decodeUtf8(reinterpret_cast<const unsigned char*>(utf8));
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
    std::string out;
    out.reserve(length_);
    for (std::size_t i = 0; i < length_; ++i) {
        unsigned long value = units_[i];
        const bool high = value >= 0xD800 && value <= 0xDBFF;
        if (high && i + 1 < length_ && units_[i + 1] >= 0xDC00 && units_[i + 1] <= 0xDFFF) {
            value = 0x10000 + ((value - 0xD800) << 10) + (units_[i + 1] - 0xDC00);
            ++i;
        } else if (value >= 0xD800 && value <= 0xDFFF) {
            value = replacementCharacter; // half of a pair, without the other half
        }
        if (value < 0x80) {
            out.push_back(static_cast<char>(value));
        } else if (value < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (value >> 6)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        } else if (value < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (value >> 12)));
            out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (value >> 18)));
            out.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        }
    }
    return out;
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
