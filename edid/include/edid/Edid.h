// The facts a host wants from a monitor's EDID: who made it, what it is
// called, its preferred mode and size, and whether it speaks HDMI and HDR.
// Decoding needs nothing but the bytes, so it is the same on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace edid {

/// A width and height; the unit is in the name of the field that holds it.
struct Size {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

/// An exact rate, reduced: numerator / denominator Hz.
struct Rational {
    std::uint64_t numerator = 0;
    std::uint64_t denominator = 1;
};

/// One detailed timing descriptor.
struct DetailedTiming {
    std::uint32_t width = 0;
    /// Lines of the whole frame, both fields of an interlaced timing.
    std::uint32_t height = 0;
    bool interlaced = false;
    std::uint32_t pixelClockKhz = 0;
    /// Pixel clock / (horizontal total x vertical total). An interlaced
    /// timing counts fields, each of half a frame plus half a line, as
    /// edid-decode and the mode lists of TVs do (1080i is 60 Hz, not 30).
    Rational refreshRate;
    double hertz = 0;
    /// Absent when the descriptor gives neither width nor height.
    std::optional<Size> imageSizeMm;
};

/// The CTA-861 HDR static metadata data block.
struct HdrStaticMetadata {
    bool traditionalSdr = false;
    bool traditionalHdr = false;
    bool pq = false;
    bool hlg = false;
    /// In cd/m²; each is absent when the block is too short to carry it.
    std::optional<double> desiredContentMaxLuminance;
    std::optional<double> desiredContentMaxFrameAverageLuminance;
    std::optional<double> desiredContentMinLuminance;
};

/// What decode() reads. Field names are the JSON keys (tools/EdidJson.h).
struct Edid {
    /// Three letters, '@' + each 5-bit code: zero reads "@@@", as Windows
    /// spells it, and the codes above 26 read '[' to '_'.
    std::string manufacturerId;
    std::uint16_t productCode = 0;
    /// Absent when 0, which means "not given".
    std::optional<std::uint32_t> serialNumber;
    /// The display product serial (0xFF) and name (0xFC) descriptors of the
    /// base block, the first of each. The text ends at 0x0A; control
    /// characters (below 0x20, and 0x7F) and bytes above 0x7F are dropped,
    /// then trailing blanks.
    std::optional<std::string> serialString;
    std::optional<std::string> name;
    /// Week 1-254 of manufacture; week 0 gives the year alone, and week 0xFF
    /// makes the year a model year.
    std::optional<std::uint32_t> week;
    std::optional<std::uint32_t> year;
    std::optional<std::uint32_t> modelYear;
    /// "1.4".
    std::string version;
    bool digital = false;
    /// The extension count as the base block states it, not as many blocks as
    /// the bytes hold.
    std::uint32_t extensions = 0;
    /// Absent when either byte is 0: then there is no size (a projector), or
    /// EDID 1.4 uses the other byte for an aspect ratio.
    std::optional<Size> maxImageSizeCm;
    /// The first descriptor of the base block, when it is a timing.
    std::optional<DetailedTiming> preferredTiming;
    /// A CTA-861 extension holds an HDMI vendor data block (IEEE OUI 00-0C-03).
    bool hdmi = false;
    /// The first HDR static metadata data block of the CTA-861 extensions.
    std::optional<HdrStaticMetadata> hdr;
    /// The base block and every complete extension block within the stated
    /// count sum to 0 mod 256. Blocks the bytes lack are not judged.
    bool checksumValid = false;
    /// The preferred timing's image size when it gives both, else the
    /// maximum image size in mm.
    std::optional<Size> physicalSizeMm;
};

/// Decodes `size` bytes at `data`, reading no byte outside them. Refuses
/// (empty) anything shorter than one block or without the EDID header.
/// Extension blocks are read up to the stated count or the last complete
/// block, whichever comes first (an HDMI Forum override of the count is not
/// honoured); only CTA-861 blocks are looked into, so DisplayID and other
/// extensions never pass for one.
std::optional<Edid> decode(const std::uint8_t* data, std::size_t size);
std::optional<Edid> decode(const std::vector<std::uint8_t>& bytes);

} // namespace edid
