#pragma once

#include <libVideoPortInfo/Export.h>
#include <libVideoPortInfo/VideoPort.h>
#include <tkl/SharedResource.h>

namespace libVideoPortInfo {

/// The list of the machine's video ports.
class VPI_WIN7_API VideoPortFactory {
public:
    VideoPortFactory();
    VideoPortFactory(const VideoPortFactory& other);
    virtual ~VideoPortFactory();
    /// There is no state to copy.
    VideoPortFactory& operator=(const VideoPortFactory& other);

    /// The number of ports.
    virtual unsigned numVideoPorts() const = 0;
    /// A non-owning handle to port `index`; valid until the next successful
    /// refresh(). Throws tkl::IndexOutOfBounds(0, count - 1, index) for an
    /// index not below the count.
    virtual tkl::CopiedResource<tkl::PointerStorage<VideoPort, 3, 2>>
    videoPort(unsigned index) const = 0;
    /// Rebuilds the list from the current display configuration. False when
    /// reading the configuration failed; the old list then stays.
    virtual bool refresh() = 0;
};

} // namespace libVideoPortInfo
