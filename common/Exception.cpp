#include <tkl/Exception.h>
#include <tkl/TKLValue.h>

namespace tkl {

Exception::Exception(const String& message) : message_(message), utf8_(message.toUtf8()) {}
Exception::Exception(const Exception& other) = default;
Exception& Exception::operator=(const Exception& other) = default;
Exception::~Exception() = default;

const char* Exception::what() const noexcept {
    return utf8_.c_str();
}

namespace {

String describeBounds(unsigned low, unsigned high, unsigned index) {
    const unsigned nil = TKLValue::nilValue();
    String text("Index ");
    text += TKLValue(index).toString(nil);
    text += String(" is out of bounds [");
    text += TKLValue(low).toString(nil);
    text += String(", ");
    text += TKLValue(high).toString(nil);
    text += String("]");
    return text;
}

} // namespace

IndexOutOfBounds::IndexOutOfBounds(unsigned low, unsigned high, unsigned index)
    : Exception(describeBounds(low, high, index)), low_(low), high_(high), index_(index) {}
IndexOutOfBounds::IndexOutOfBounds(const IndexOutOfBounds& other) = default;
IndexOutOfBounds::~IndexOutOfBounds() = default;

NullPointer::NullPointer(const String& message) : Exception(message) {}
NullPointer::NullPointer(const NullPointer& other) = default;
NullPointer::~NullPointer() = default;

SerializationFailed::SerializationFailed(const String& message) : Exception(message) {}
SerializationFailed::SerializationFailed(const SerializationFailed& other) = default;
SerializationFailed::~SerializationFailed() = default;

TKLValue::TKLValue(const unsigned& value) : value_(value) {}
TKLValue::~TKLValue() = default;

String TKLValue::toString(unsigned /*nilValue*/) const {
    return String(std::to_string(value_).c_str());
}

unsigned TKLValue::nilValue() {
    return 0xFFFFFFFFu;
}

} // namespace tkl
