// The recording format's one mapping of each record to JSON: a record's fields
// are listed once (Fields::of), and the same list drives the reader, which
// takes exactly those fields, and the writer.
#include "JsonCodec.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace standin {
namespace {

constexpr int kFormatVersion = 1;
constexpr const char* kFormatName = "vpi-display-config";

using DeviceInfoEntry = std::pair<DeviceInfoKey, DeviceInfoAnswer>;
using ModeList = std::pair<std::u16string, std::vector<DEVMODEW>>;

struct Document {
    Json format = kFormatName;
    Json version = kFormatVersion;
    Configuration configuration;
};

std::string luidText(const LUID& luid) {
    char text[24];
    std::snprintf(text, sizeof text, "%08x:%08x", static_cast<unsigned>(luid.HighPart),
                  static_cast<unsigned>(luid.LowPart));
    return text;
}

// A reading visitor refuses, with the place, what a writing one cannot write.
template <typename V>
[[noreturn]] void refuse(const char* field, const std::string& reading,
                         const std::string& writing) {
    if (V::reading) {
        fail(field, reading);
    }
    throw ConfigurationError(writing);
}

// Each record's fields, named as the platform declares them and in its order,
// for the reader and the writer alike: of(v, record) calls v(name, field) for
// each. VPI_FIELDS(a, b) stands for v("a", r.a); v("b", r.b) (through the
// macro that nlohmann's own type definitions expand with), and VPI_RECORD
// defines of() for a record that is nothing but its fields.
#define VPI_FIELD(name) v(#name, r.name);
#define VPI_FIELDS(...) NLOHMANN_JSON_EXPAND(NLOHMANN_JSON_PASTE(VPI_FIELD, __VA_ARGS__))
#define VPI_RECORD(Type, ...)                                                                      \
    template <typename V> static void of(V& v, Type& r) {                                          \
        VPI_FIELDS(__VA_ARGS__)                                                                    \
    }

struct Fields {
    VPI_RECORD(LUID, LowPart, HighPart)
    VPI_RECORD(DISPLAYCONFIG_RATIONAL, Numerator, Denominator)
    VPI_RECORD(DISPLAYCONFIG_2DREGION, cx, cy)
    VPI_RECORD(POINTL, x, y)
    VPI_RECORD(RECTL, left, top, right, bottom)
    VPI_RECORD(DISPLAYCONFIG_VIDEO_SIGNAL_INFO, pixelRate, hSyncFreq, vSyncFreq, activeSize,
               totalSize, videoStandard, scanLineOrdering)
    VPI_RECORD(DISPLAYCONFIG_TARGET_MODE, targetVideoSignalInfo)
    VPI_RECORD(DISPLAYCONFIG_SOURCE_MODE, width, height, pixelFormat, position)
    VPI_RECORD(DISPLAYCONFIG_DESKTOP_IMAGE_INFO, PathSourceSize, DesktopImageRegion,
               DesktopImageClip)
    VPI_RECORD(DISPLAYCONFIG_PATH_SOURCE_INFO, adapterId, id, modeInfoIdx, statusFlags)
    VPI_RECORD(DISPLAYCONFIG_PATH_TARGET_INFO, adapterId, id, modeInfoIdx, outputTechnology,
               rotation, scaling, refreshRate, scanLineOrdering, targetAvailable, statusFlags)
    VPI_RECORD(DISPLAYCONFIG_PATH_INFO, sourceInfo, targetInfo, flags)
    // Device-information records, without their headers.
    VPI_RECORD(DISPLAYCONFIG_SOURCE_DEVICE_NAME, viewGdiDeviceName)
    VPI_RECORD(DISPLAYCONFIG_TARGET_PREFERRED_MODE, width, height, targetMode)
    VPI_RECORD(DISPLAYCONFIG_ADAPTER_NAME, adapterDevicePath)

    // The flags union as its value.
    template <typename V> static void of(V& v, DISPLAYCONFIG_TARGET_DEVICE_NAME& r) {
        v("flags", r.flags.value);
        VPI_FIELDS(outputTechnology, edidManufactureId, edidProductCodeId, connectorInstance,
                   monitorFriendlyDeviceName, monitorDevicePath);
    }

    // Then the variant that infoType names.
    template <typename V> static void of(V& v, DISPLAYCONFIG_MODE_INFO& r) {
        VPI_FIELDS(infoType, id, adapterId);
        if (r.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE) {
            v("sourceMode", r.sourceMode);
        } else if (r.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_TARGET) {
            v("targetMode", r.targetMode);
        } else if (r.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_DESKTOP_IMAGE) {
            // The MinGW-w64 headers do not name this variant of the union.
            DISPLAYCONFIG_DESKTOP_IMAGE_INFO image{};
            std::memcpy(&image, &r.targetMode, sizeof image);
            v("desktopImageInfo", image);
            std::memcpy(&r.targetMode, &image, sizeof image);
        } else {
            const std::string type = std::to_string(static_cast<UINT32>(r.infoType));
            refuse<V>("infoType", type + " is not a mode type (1 to 3)",
                      "a mode record of type " + type + " cannot be written");
        }
    }

    template <typename V> static void of(V& v, DEVMODEW& r) {
        r.dmSpecVersion = DM_SPECVERSION; // the header of a record read from a file
        r.dmSize = sizeof(DEVMODEW);
        VPI_FIELDS(dmPelsWidth, dmPelsHeight, dmBitsPerPel, dmDisplayFrequency, dmDisplayFlags,
                   dmDisplayOrientation, dmDisplayFixedOutput, dmPosition, dmFields);
    }

    // A request (its header's fields) and its answer: an error result alone,
    // or result 0 with the record of the request's type.
    template <typename V> static void of(V& v, DeviceInfoEntry& r) {
        v("type", r.first.type);
        v("adapterId", r.first.adapterId);
        v("id", r.first.id);
        v("result", r.second.error);
        if (r.second.error != ERROR_SUCCESS) {
            return;
        }
        switch (r.first.type) {
        case DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME:
            return answer<DISPLAYCONFIG_SOURCE_DEVICE_NAME>(v, r);
        case DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME:
            return answer<DISPLAYCONFIG_TARGET_DEVICE_NAME>(v, r);
        case DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE:
            return answer<DISPLAYCONFIG_TARGET_PREFERRED_MODE>(v, r);
        case DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME:
            return answer<DISPLAYCONFIG_ADAPTER_NAME>(v, r);
        default:
            const std::string record = "a record of type " + std::to_string(r.first.type);
            refuse<V>("type", record + " cannot be given, only an error result",
                      record + " cannot be written");
        }
    }

    template <typename Record, typename V> static void answer(V& v, DeviceInfoEntry& r) {
        const DeviceInfoKey& key = r.first;
        auto record = makeDeviceInfoRequest<Record>(
            static_cast<DISPLAYCONFIG_DEVICE_INFO_TYPE>(key.type), key.adapterId, key.id);
        if (!V::reading && !recordOf(r.second, record)) {
            throw ConfigurationError("a type " + std::to_string(key.type) + " record of " +
                                     std::to_string(r.second.record.size()) +
                                     " bytes cannot be written");
        }
        UINT32 size = sizeof(Record);
        v("size", size);
        if (size != sizeof(Record)) {
            fail("size", std::to_string(size) + " is not the size of a type " +
                             std::to_string(key.type) + " record (" +
                             std::to_string(sizeof(Record)) + ")");
        }
        v("record", record);
        r.second.record = bytesOf(record);
    }

    template <typename V> static void of(V& v, ModeList& r) {
        v("device", r.first);
        v("modes", r.second);
    }

    template <typename V> static void of(V& v, Document& r) {
        VPI_FIELDS(format, version);
        if (r.format != kFormatName) {
            fail("format",
                 std::string("expected \"") + kFormatName + "\", found " + r.format.dump());
        }
        within("version", [&] {
            if (integer(r.version, 0, INT32_MAX) != kFormatVersion) {
                fail("", "only version " + std::to_string(kFormatVersion) + " is understood");
            }
        });
        v("paths", r.configuration.paths);
        v("modes", r.configuration.modes);
        v("deviceInfo", r.configuration.deviceInfo);
        v("displayModes", r.configuration.displayModes);
    }

    // Keyed tables take one entry per key.
    [[noreturn]] static void duplicate(const DeviceInfoEntry& r) {
        fail("", "a second answer to the request of type " + std::to_string(r.first.type) +
                     " for adapter " + luidText(r.first.adapterId) + ", id " +
                     std::to_string(r.first.id));
    }
    [[noreturn]] static void duplicate(const ModeList& r) {
        fail("device", "a second mode list for " + toUtf8(r.first));
    }
};

void checkModeIndex(const Configuration& configuration, UINT32 index,
                    DISPLAYCONFIG_MODE_INFO_TYPE type, const std::string& where) {
    if (index == DISPLAYCONFIG_PATH_MODE_IDX_INVALID) {
        return;
    }
    if (index >= configuration.modes.size()) {
        fail(where, "mode index " + std::to_string(index) + " is out of range (" +
                        std::to_string(configuration.modes.size()) + " modes)");
    }
    if (configuration.modes[index].infoType != type) {
        fail(where, "mode " + std::to_string(index) + " is not a " +
                        (type == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE ? "source" : "target") +
                        " mode");
    }
}

} // namespace

Configuration configurationFromJson(const std::string& text) {
    try {
        Document document;
        Reader<Fields>::read(parseText(text), document);
        const Configuration& c = document.configuration;
        for (std::size_t i = 0; i < c.paths.size(); ++i) {
            checkModeIndex(c, c.paths[i].sourceInfo.modeInfoIdx,
                           DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE,
                           element("paths", i) + ".sourceInfo.modeInfoIdx");
            checkModeIndex(c, c.paths[i].targetInfo.modeInfoIdx,
                           DISPLAYCONFIG_MODE_INFO_TYPE_TARGET,
                           element("paths", i) + ".targetInfo.modeInfoIdx");
        }
        return std::move(document.configuration);
    } catch (const Fault& fault) {
        throw ConfigurationError(fault.place.empty() ? fault.what
                                                     : fault.place + ": " + fault.what);
    }
}

Configuration loadConfigurationFile(const std::string& path) {
    return configurationFromJson(readTextFile(path));
}

std::string configurationToJson(const Configuration& configuration) {
    Document document;
    document.configuration = configuration;
    // An adapter name that the stand-in makes up when there is none is left
    // out, so that a recording made before adapter names were recorded
    // replays and records to the same text.
    std::map<DeviceInfoKey, DeviceInfoAnswer>& answers = document.configuration.deviceInfo;
    for (auto it = answers.begin(); it != answers.end();) {
        const LUID& adapter = it->first.adapterId;
        DISPLAYCONFIG_ADAPTER_NAME name{};
        const bool madeUp = it->first.type == DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME &&
                            recordOf(it->second, name) && configuration.namesAdapter(adapter) &&
                            nameOf(name.adapterDevicePath) == madeUpAdapterPath(adapter);
        it = madeUp ? answers.erase(it) : std::next(it);
    }
    std::string out;
    layout(out, Writer<Fields>::write(document));
    return out;
}

} // namespace standin
