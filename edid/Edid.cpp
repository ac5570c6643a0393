#include <edid/Edid.h>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace edid {
namespace {

constexpr std::size_t blockSize = 128;
constexpr std::uint8_t header[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

// The base block's four 18-byte descriptors.
constexpr std::size_t descriptorOffsets[] = {54, 72, 90, 108};
constexpr std::size_t descriptorSize = 18;

constexpr std::uint8_t ctaTag = 0x02;
constexpr std::uint8_t productSerialTag = 0xFF;
constexpr std::uint8_t productNameTag = 0xFC;

// Every function below that takes a block reads only indices 0-127 of it:
// decode() hands out complete blocks alone.

bool checksumOk(const std::uint8_t* block) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < blockSize; ++i)
        sum += block[i];
    return sum % 256 == 0;
}

std::string manufacturerIdOf(const std::uint8_t* base) {
    const unsigned packed = static_cast<unsigned>(base[8]) << 8 | base[9];
    std::string id;
    for (unsigned shift : {10u, 5u, 0u})
        id += static_cast<char>('@' + (packed >> shift & 0x1F));
    return id;
}

// Display descriptors have a zero pixel clock where a timing has its clock.
bool isDisplayDescriptor(const std::uint8_t* descriptor) {
    return descriptor[0] == 0 && descriptor[1] == 0;
}

// Names end up in tables, logs and JSON: keep out what would mangle them.
std::string descriptorText(const std::uint8_t* descriptor) {
    std::string text;
    for (std::size_t i = 5; i < descriptorSize && descriptor[i] != 0x0A; ++i) {
        const std::uint8_t c = descriptor[i];
        if (c >= 0x20 && c < 0x7F)
            text += static_cast<char>(c);
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// A clock under 10 MHz is no timing: nothing real runs that slow, and the
// 01 01 filler of old EDIDs would read as 2.57 MHz (edid-decode skips it too).
constexpr unsigned minimumClock10Khz = 1000;

std::optional<DetailedTiming> detailedTiming(const std::uint8_t* d) {
    const unsigned clock10Khz = d[0] | static_cast<unsigned>(d[1]) << 8;
    if (clock10Khz < minimumClock10Khz)
        return std::nullopt;
    const std::uint64_t hActive = d[2] | static_cast<unsigned>(d[4] & 0xF0) << 4;
    const std::uint64_t hBlank = d[3] | static_cast<unsigned>(d[4] & 0x0F) << 8;
    const std::uint64_t vActive = d[5] | static_cast<unsigned>(d[7] & 0xF0) << 4;
    const std::uint64_t vBlank = d[6] | static_cast<unsigned>(d[7] & 0x0F) << 8;
    const std::uint64_t hTotal = hActive + hBlank;
    const std::uint64_t vTotal = vActive + vBlank;
    if (hTotal == 0 || vTotal == 0)
        return std::nullopt;

    DetailedTiming timing;
    timing.interlaced = (d[17] & 0x80) != 0;
    timing.width = static_cast<std::uint32_t>(hActive);
    // Vertical counts of an interlaced timing are per field.
    timing.height = static_cast<std::uint32_t>(timing.interlaced ? 2 * vActive : vActive);
    timing.pixelClockKhz = clock10Khz * 10;
    // At most 1.4e9 / 1.4e8: far from overflowing 64 bits.
    const std::uint64_t pixelHz = std::uint64_t{clock10Khz} * 10000;
    std::uint64_t numerator = pixelHz;
    std::uint64_t denominator = hTotal * vTotal;
    if (timing.interlaced) {
        // A field is vTotal + 1/2 lines.
        numerator = 2 * pixelHz;
        denominator = hTotal * (2 * vTotal + 1);
    }
    const std::uint64_t divisor = std::gcd(numerator, denominator);
    timing.refreshRate = {numerator / divisor, denominator / divisor};
    timing.hertz = static_cast<double>(timing.refreshRate.numerator) /
                   static_cast<double>(timing.refreshRate.denominator);
    const std::uint32_t widthMm = d[12] | static_cast<unsigned>(d[14] & 0xF0) << 4;
    const std::uint32_t heightMm = d[13] | static_cast<unsigned>(d[14] & 0x0F) << 8;
    if (widthMm != 0 || heightMm != 0)
        timing.imageSizeMm = Size{widthMm, heightMm};
    return timing;
}

// Luminance codes as the HDR static metadata block defines them: 50 x 2^(cv/32)
// cd/m² for the maxima, max x (cv/255)² / 100 for the minimum.
double maxLuminance(std::uint8_t code) {
    return 50.0 * std::pow(2.0, code / 32.0);
}

// `payload` follows the extended tag: transfer functions, metadata types,
// then the optional luminances.
HdrStaticMetadata hdrStaticMetadata(const std::uint8_t* payload, std::size_t size) {
    HdrStaticMetadata hdr;
    const std::uint8_t eotf = payload[0];
    hdr.traditionalSdr = (eotf & 0x01) != 0;
    hdr.traditionalHdr = (eotf & 0x02) != 0;
    hdr.pq = (eotf & 0x04) != 0;
    hdr.hlg = (eotf & 0x08) != 0;
    if (size > 2)
        hdr.desiredContentMaxLuminance = maxLuminance(payload[2]);
    if (size > 3)
        hdr.desiredContentMaxFrameAverageLuminance = maxLuminance(payload[3]);
    if (size > 4) {
        const double ratio = payload[4] / 255.0;
        hdr.desiredContentMinLuminance = *hdr.desiredContentMaxLuminance * ratio * ratio / 100;
    }
    return hdr;
}

constexpr unsigned vendorDataBlock = 3;
constexpr unsigned extendedDataBlock = 7;
constexpr std::uint8_t hdrStaticMetadataTag = 6;
constexpr std::uint8_t hdmiOui[] = {0x03, 0x0C, 0x00}; // 00-0C-03, least significant first

void readCta(const std::uint8_t* block, Edid& result) {
    // Revisions 1 and 2 have no data blocks; bytes 4 to the DTDs are reserved.
    if (block[1] < 3)
        return;
    // Data blocks lie between byte 4 and the DTDs, which byte 2 locates; 0
    // means neither. The checksum byte is never part of them.
    const std::size_t end = std::min<std::size_t>(block[2], blockSize - 1);
    for (std::size_t at = 4; at < end;) {
        const unsigned tag = block[at] >> 5;
        const std::size_t length = block[at] & 0x1F;
        const std::uint8_t* payload = block + at + 1;
        // A block reaching past the DTDs is cut short: trust nothing after it.
        if (at + 1 + length > end)
            return;
        if (tag == vendorDataBlock && length >= 3 &&
            std::equal(std::begin(hdmiOui), std::end(hdmiOui), payload))
            result.hdmi = true;
        if (tag == extendedDataBlock && length >= 2 && payload[0] == hdrStaticMetadataTag &&
            !result.hdr)
            result.hdr = hdrStaticMetadata(payload + 1, length - 1);
        at += 1 + length;
    }
}

} // namespace

std::optional<Edid> decode(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < blockSize ||
        !std::equal(std::begin(header), std::end(header), data))
        return std::nullopt;
    const std::uint8_t* base = data;

    Edid result;
    result.manufacturerId = manufacturerIdOf(base);
    result.productCode = static_cast<std::uint16_t>(base[10] | base[11] << 8);
    const std::uint32_t serial =
        base[12] | base[13] << 8 | base[14] << 16 | static_cast<std::uint32_t>(base[15]) << 24;
    if (serial != 0)
        result.serialNumber = serial;
    const std::uint8_t week = base[16];
    const std::uint32_t year = 1990u + base[17];
    if (week == 0xFF) {
        result.modelYear = year;
    } else {
        result.year = year;
        if (week != 0)
            result.week = week;
    }
    result.version = std::to_string(base[18]) + "." + std::to_string(base[19]);
    result.digital = (base[20] & 0x80) != 0;
    if (base[21] != 0 && base[22] != 0)
        result.maxImageSizeCm = Size{base[21], base[22]};
    result.extensions = base[126];

    for (std::size_t offset : descriptorOffsets) {
        const std::uint8_t* descriptor = base + offset;
        if (!isDisplayDescriptor(descriptor)) {
            if (offset == descriptorOffsets[0])
                result.preferredTiming = detailedTiming(descriptor);
            continue;
        }
        const std::uint8_t tag = descriptor[3];
        if (tag == productNameTag && !result.name)
            result.name = descriptorText(descriptor);
        if (tag == productSerialTag && !result.serialString)
            result.serialString = descriptorText(descriptor);
    }

    result.checksumValid = checksumOk(base);
    const std::size_t blocksRead = std::min<std::size_t>(result.extensions, size / blockSize - 1);
    for (std::size_t index = 1; index <= blocksRead; ++index) {
        const std::uint8_t* block = data + index * blockSize;
        result.checksumValid = result.checksumValid && checksumOk(block);
        if (block[0] == ctaTag)
            readCta(block, result);
    }

    if (result.preferredTiming && result.preferredTiming->imageSizeMm &&
        result.preferredTiming->imageSizeMm->width != 0 &&
        result.preferredTiming->imageSizeMm->height != 0)
        result.physicalSizeMm = result.preferredTiming->imageSizeMm;
    else if (result.maxImageSizeCm)
        result.physicalSizeMm =
            Size{result.maxImageSizeCm->width * 10, result.maxImageSizeCm->height * 10};
    return result;
}

std::optional<Edid> decode(const std::vector<std::uint8_t>& bytes) {
    return decode(bytes.data(), bytes.size());
}

} // namespace edid
