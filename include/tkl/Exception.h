#pragma once

#include <tkl/CommonExport.h>
#include <tkl/String.h>

#include <exception>
#include <string>

namespace tkl {

/// Base of every exception of the runtime and of the libraries built on it.
/// Thrown by value, copyable. what() is the message as UTF-8.
class TKL_COMMON_API Exception : public std::exception {
public:
    explicit Exception(const String& message);
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);
    ~Exception() override;

    const char* what() const noexcept override;
    const String& message() const { return message_; }

private:
    String message_;
    std::string utf8_; // what() must not allocate, so the UTF-8 form is kept
};

/// An index outside [low, high]. An empty container reports high as
/// 4294967295 (count - 1 in 32-bit unsigned arithmetic).
class TKL_COMMON_API IndexOutOfBounds : public Exception {
public:
    IndexOutOfBounds(unsigned low, unsigned high, unsigned index);
    IndexOutOfBounds(const IndexOutOfBounds& other);
    ~IndexOutOfBounds() override;

    unsigned low() const { return low_; }
    unsigned high() const { return high_; }
    unsigned index() const { return index_; }

private:
    unsigned low_;
    unsigned high_;
    unsigned index_;
};

/// A storage request that cannot be honoured (among others, an array larger
/// than its 32-bit limit).
class TKL_COMMON_API NullPointer : public Exception {
public:
    explicit NullPointer(const String& message);
    NullPointer(const NullPointer& other);
    ~NullPointer() override;
};

/// An object that cannot be serialized or deserialized.
class TKL_COMMON_API SerializationFailed : public Exception {
public:
    explicit SerializationFailed(const String& message);
    SerializationFailed(const SerializationFailed& other);
    ~SerializationFailed() override;
};

} // namespace tkl
