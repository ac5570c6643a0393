// The members of the model's abstract bases and the copy operations of its
// records, which this library provides for its hosts.
#include <libVideoPortInfo/ExtDevMode.h>
#include <libVideoPortInfo/Monitor.h>
#include <libVideoPortInfo/VideoPort.h>
#include <libVideoPortInfo/VideoPortFactory.h>

#include <cstring>

namespace libVideoPortInfo {

VideoPort::VideoPort() {}
VideoPort::VideoPort(const VideoPort& /*other*/) {}
VideoPort::~VideoPort() {}
VideoPort& VideoPort::operator=(const VideoPort& /*other*/) {
    return *this;
}

VideoPortFactory::VideoPortFactory() {}
VideoPortFactory::VideoPortFactory(const VideoPortFactory& /*other*/) {}
VideoPortFactory::~VideoPortFactory() {}
VideoPortFactory& VideoPortFactory::operator=(const VideoPortFactory& /*other*/) {
    return *this;
}

Monitor::Monitor(const Monitor& other)
    : resolution_(other.resolution_), name_(other.name_), devicePath_(other.devicePath_),
      displayId_(other.displayId_) {}

Monitor& Monitor::operator=(const Monitor& other) {
    resolution_ = other.resolution_;
    name_ = other.name_;
    devicePath_ = other.devicePath_;
    displayId_ = other.displayId_;
    return *this;
}

ExtDevMode& ExtDevMode::operator=(const ExtDevMode& other) {
    std::memmove(static_cast<void*>(this), &other, sizeof(ExtDevMode));
    return *this;
}

} // namespace libVideoPortInfo
