#include <standin/ConfigurationJson.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <set>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace standin {
namespace {

using Json = nlohmann::ordered_json;

constexpr int kFormatVersion = 1;
constexpr const char* kFormatName = "vpi-display-config";

// ---------------------------------------------------------------- reading

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw ConfigurationError(where.empty() ? what : where + ": " + what);
}

std::string member(const std::string& where, const char* name) {
    return where.empty() ? std::string(name) : where + "." + name;
}

std::string element(const std::string& where, std::size_t index) {
    return where + "[" + std::to_string(index) + "]";
}

// How deep values may nest: the format itself needs 7 levels (the document,
// a table, a record, and four levels of fields in a device-information record).
constexpr std::size_t kMaxDepth = 32;

// Builds the document from the parser's events, as nlohmann's own builder does,
// and refuses on the way, with the place, what that builder would take
// silently or not survive: nesting deeper than kMaxDepth (walking a deep value
// would overflow the stack), a field given twice (the builder keeps the last),
// a NUL inside a text (which would cut a name short), and numbers no type holds.
class DocumentBuilder : public nlohmann::json_sax<Json> {
public:
    Json take() { return std::move(root_); }

    bool null() override { return add(Json(nullptr)); }
    bool boolean(bool value) override { return add(Json(value)); }
    bool number_integer(number_integer_t value) override { return add(Json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return add(Json(value)); }
    bool number_float(number_float_t value, const string_t& text) override {
        // An integer literal too large for 64 bits reaches here as a float.
        if (text.find_first_not_of("-0123456789") == std::string::npos) {
            fail(nextPlace(), text + " is out of range");
        }
        return add(Json(value));
    }
    bool string(string_t& value) override {
        if (value.find('\0') != std::string::npos) {
            fail(nextPlace(), "the text holds a NUL character");
        }
        return add(Json(std::move(value)));
    }
    bool binary(binary_t&) override { return add(Json()); } // never in JSON text

    bool start_object(std::size_t) override { return open(Json::object()); }
    bool start_array(std::size_t) override { return open(Json::array()); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }

    bool key(string_t& name) override {
        Frame& frame = frames_.back();
        if (name.find('\0') != std::string::npos) {
            fail(placeOf(frames_.size() - 1), "a field name holds a NUL character");
        }
        if (!frame.keys.insert(name).second) {
            fail(placeOf(frames_.size() - 1), "a second field \"" + name + "\"");
        }
        frame.key = std::move(name);
        return true;
    }

    bool parse_error(std::size_t, const std::string& token,
                     const nlohmann::detail::exception& error) override {
        if (error.id == 406) { // a number beyond every floating-point value
            fail(nextPlace(), token + " is out of range");
        }
        const std::string what = error.what();
        const std::size_t end = what.find("] ");
        fail("", "JSON syntax error: " + (end == std::string::npos ? what : what.substr(end + 2)));
    }

private:
    // An open object or array. Its parent does not change while it is open,
    // so the pointer stays valid.
    struct Frame {
        Json* value;
        std::string key;            // objects: the field being read
        std::set<std::string> keys; // objects: the fields read so far
    };

    // The place of the container of frame `depth` (0: the document), or with
    // depth = frames_.size() the place of the next value.
    std::string placeOf(std::size_t depth) const {
        std::string place;
        for (std::size_t i = 0; i < depth; ++i) {
            const Json& value = *frames_[i].value;
            // An open child is already the array's last element.
            const bool childOpen = i + 1 < frames_.size();
            place = value.is_array() ? element(place, value.size() - (childOpen ? 1 : 0))
                                     : member(place, frames_[i].key.c_str());
        }
        return place;
    }

    std::string nextPlace() const { return placeOf(frames_.size()); }

    // Puts `value` where the next value goes and returns where it now is.
    Json* put(Json value) {
        if (frames_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Frame& frame = frames_.back();
        if (frame.value->is_array()) {
            frame.value->push_back(std::move(value));
            return &frame.value->back();
        }
        // Straight to the field list: the key is known to be new, and the
        // map's own insertion would search the whole object first.
        auto& fields =
            static_cast<Json::object_t::Container&>(frame.value->get_ref<Json::object_t&>());
        fields.emplace_back(frame.key, std::move(value));
        return &fields.back().second;
    }

    bool add(Json value) {
        put(std::move(value));
        return true;
    }

    bool open(Json container) {
        if (frames_.size() == kMaxDepth) {
            fail(nextPlace(), "nested deeper than " + std::to_string(kMaxDepth) + " levels");
        }
        Json* value = put(std::move(container));
        frames_.push_back(Frame{value, std::string(), {}});
        return true;
    }

    bool close() {
        frames_.pop_back();
        return true;
    }

    Json root_;
    std::vector<Frame> frames_;
};

Json readDocument(const std::string& text) {
    DocumentBuilder builder;
    Json::sax_parse(text, &builder);
    return builder.take();
}

// An object with exactly the named fields.
void expectObject(const Json& value, const std::string& where,
                  std::initializer_list<const char*> fields) {
    if (!value.is_object()) {
        fail(where, std::string("expected an object, found ") + value.type_name());
    }
    for (const char* name : fields) {
        if (!value.contains(name)) {
            fail(where, std::string("missing field \"") + name + "\"");
        }
    }
    for (auto it = value.begin(); it != value.end(); ++it) {
        bool known = false;
        for (const char* name : fields) {
            known = known || it.key() == name;
        }
        if (!known) {
            fail(where, "unknown field \"" + it.key() + "\"");
        }
    }
}

const Json& expectArray(const Json& object, const char* name, const std::string& where) {
    const Json& value = object.at(name);
    if (!value.is_array()) {
        fail(member(where, name), std::string("expected an array, found ") + value.type_name());
    }
    return value;
}

std::int64_t integer(const Json& object, const char* name, const std::string& where,
                     std::int64_t min, std::int64_t max) {
    const Json& value = object.at(name);
    const std::string place = member(where, name);
    if (!value.is_number_integer()) {
        fail(place, std::string("expected an integer, found ") + value.type_name());
    }
    if (value.is_number_unsigned() && value.get<std::uint64_t>() > std::uint64_t(INT64_MAX)) {
        fail(place, value.dump() + " is out of range");
    }
    const std::int64_t n = value.get<std::int64_t>();
    if (n < min || n > max) {
        fail(place, std::to_string(n) + " is out of range (" + std::to_string(min) + " to " +
                        std::to_string(max) + ")");
    }
    return n;
}

// Any 32-bit field takes a signed or an unsigned 32-bit number and keeps its
// bits, so that -1 and 4294967295 both mean 0xFFFFFFFF.
UINT32 bits32(const Json& object, const char* name, const std::string& where) {
    return static_cast<UINT32>(integer(object, name, where, INT32_MIN, UINT32_MAX));
}

LONG long32(const Json& object, const char* name, const std::string& where) {
    return static_cast<LONG>(bits32(object, name, where));
}

UINT16 bits16(const Json& object, const char* name, const std::string& where) {
    return static_cast<UINT16>(integer(object, name, where, 0, UINT16_MAX));
}

UINT64 bits64(const Json& object, const char* name, const std::string& where) {
    const Json& value = object.at(name);
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>();
    }
    return static_cast<UINT64>(integer(object, name, where, 0, INT64_MAX));
}

std::u16string readText(const Json& object, const char* name, const std::string& where) {
    const Json& value = object.at(name);
    if (!value.is_string()) {
        fail(member(where, name), std::string("expected a string, found ") + value.type_name());
    }
    return fromUtf8(value.get<std::string>());
}

template <std::size_t N>
void readName(WCHAR (&field)[N], const Json& object, const char* name, const std::string& where) {
    const std::u16string value = readText(object, name, where);
    if (value.size() > N) {
        fail(member(where, name), std::to_string(value.size()) +
                                      " UTF-16 units do not fit a field of " + std::to_string(N));
    }
    copyName(field, value);
}

LUID readLuid(const Json& object, const char* name, const std::string& where) {
    const std::string place = member(where, name);
    const Json& value = object.at(name);
    expectObject(value, place, {"LowPart", "HighPart"});
    return makeLuid(static_cast<DWORD>(bits32(value, "LowPart", place)),
                    long32(value, "HighPart", place));
}

DISPLAYCONFIG_RATIONAL readRational(const Json& object, const char* name,
                                    const std::string& where) {
    const std::string place = member(where, name);
    const Json& value = object.at(name);
    expectObject(value, place, {"Numerator", "Denominator"});
    return DISPLAYCONFIG_RATIONAL{bits32(value, "Numerator", place),
                                  bits32(value, "Denominator", place)};
}

DISPLAYCONFIG_2DREGION readRegion(const Json& object, const char* name, const std::string& where) {
    const std::string place = member(where, name);
    const Json& value = object.at(name);
    expectObject(value, place, {"cx", "cy"});
    return DISPLAYCONFIG_2DREGION{bits32(value, "cx", place), bits32(value, "cy", place)};
}

POINTL readPoint(const Json& object, const char* name, const std::string& where) {
    const std::string place = member(where, name);
    const Json& value = object.at(name);
    expectObject(value, place, {"x", "y"});
    POINTL point{};
    point.x = long32(value, "x", place);
    point.y = long32(value, "y", place);
    return point;
}

RECTL readRect(const Json& object, const char* name, const std::string& where) {
    const std::string place = member(where, name);
    const Json& value = object.at(name);
    expectObject(value, place, {"left", "top", "right", "bottom"});
    RECTL rect{};
    rect.left = long32(value, "left", place);
    rect.top = long32(value, "top", place);
    rect.right = long32(value, "right", place);
    rect.bottom = long32(value, "bottom", place);
    return rect;
}

DISPLAYCONFIG_VIDEO_SIGNAL_INFO readSignal(const Json& object, const char* name,
                                           const std::string& where) {
    const std::string place = member(where, name);
    const Json& value = object.at(name);
    expectObject(value, place,
                 {"pixelRate", "hSyncFreq", "vSyncFreq", "activeSize", "totalSize", "videoStandard",
                  "scanLineOrdering"});
    DISPLAYCONFIG_VIDEO_SIGNAL_INFO signal{};
    signal.pixelRate = bits64(value, "pixelRate", place);
    signal.hSyncFreq = readRational(value, "hSyncFreq", place);
    signal.vSyncFreq = readRational(value, "vSyncFreq", place);
    signal.activeSize = readRegion(value, "activeSize", place);
    signal.totalSize = readRegion(value, "totalSize", place);
    signal.videoStandard = bits32(value, "videoStandard", place);
    signal.scanLineOrdering =
        static_cast<DISPLAYCONFIG_SCANLINE_ORDERING>(bits32(value, "scanLineOrdering", place));
    return signal;
}

DISPLAYCONFIG_TARGET_MODE readTargetMode(const Json& object, const char* name,
                                         const std::string& where) {
    const std::string place = member(where, name);
    expectObject(object.at(name), place, {"targetVideoSignalInfo"});
    DISPLAYCONFIG_TARGET_MODE mode{};
    mode.targetVideoSignalInfo = readSignal(object.at(name), "targetVideoSignalInfo", place);
    return mode;
}

DISPLAYCONFIG_PATH_INFO readPath(const Json& value, const std::string& where) {
    expectObject(value, where, {"sourceInfo", "targetInfo", "flags"});
    DISPLAYCONFIG_PATH_INFO path{};

    const std::string source = member(where, "sourceInfo");
    const Json& s = value.at("sourceInfo");
    expectObject(s, source, {"adapterId", "id", "modeInfoIdx", "statusFlags"});
    path.sourceInfo.adapterId = readLuid(s, "adapterId", source);
    path.sourceInfo.id = bits32(s, "id", source);
    path.sourceInfo.modeInfoIdx = bits32(s, "modeInfoIdx", source);
    path.sourceInfo.statusFlags = bits32(s, "statusFlags", source);

    const std::string target = member(where, "targetInfo");
    const Json& t = value.at("targetInfo");
    expectObject(t, target,
                 {"adapterId", "id", "modeInfoIdx", "outputTechnology", "rotation", "scaling",
                  "refreshRate", "scanLineOrdering", "targetAvailable", "statusFlags"});
    path.targetInfo.adapterId = readLuid(t, "adapterId", target);
    path.targetInfo.id = bits32(t, "id", target);
    path.targetInfo.modeInfoIdx = bits32(t, "modeInfoIdx", target);
    path.targetInfo.outputTechnology =
        static_cast<DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY>(long32(t, "outputTechnology", target));
    path.targetInfo.rotation = static_cast<DISPLAYCONFIG_ROTATION>(bits32(t, "rotation", target));
    path.targetInfo.scaling = static_cast<DISPLAYCONFIG_SCALING>(bits32(t, "scaling", target));
    path.targetInfo.refreshRate = readRational(t, "refreshRate", target);
    path.targetInfo.scanLineOrdering =
        static_cast<DISPLAYCONFIG_SCANLINE_ORDERING>(bits32(t, "scanLineOrdering", target));
    path.targetInfo.targetAvailable = long32(t, "targetAvailable", target);
    path.targetInfo.statusFlags = bits32(t, "statusFlags", target);

    path.flags = bits32(value, "flags", where);
    return path;
}

DISPLAYCONFIG_MODE_INFO readMode(const Json& value, const std::string& where) {
    if (!value.is_object()) {
        fail(where, std::string("expected an object, found ") + value.type_name());
    }
    if (!value.contains("infoType")) {
        fail(where, "missing field \"infoType\"");
    }
    const UINT32 infoType = bits32(value, "infoType", where);
    DISPLAYCONFIG_MODE_INFO mode{};
    mode.infoType = static_cast<DISPLAYCONFIG_MODE_INFO_TYPE>(infoType);
    switch (infoType) {
    case DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE: {
        expectObject(value, where, {"infoType", "id", "adapterId", "sourceMode"});
        const std::string place = member(where, "sourceMode");
        const Json& s = value.at("sourceMode");
        expectObject(s, place, {"width", "height", "pixelFormat", "position"});
        mode.sourceMode.width = bits32(s, "width", place);
        mode.sourceMode.height = bits32(s, "height", place);
        mode.sourceMode.pixelFormat =
            static_cast<DISPLAYCONFIG_PIXELFORMAT>(bits32(s, "pixelFormat", place));
        mode.sourceMode.position = readPoint(s, "position", place);
        break;
    }
    case DISPLAYCONFIG_MODE_INFO_TYPE_TARGET:
        expectObject(value, where, {"infoType", "id", "adapterId", "targetMode"});
        mode.targetMode = readTargetMode(value, "targetMode", where);
        break;
    case DISPLAYCONFIG_MODE_INFO_TYPE_DESKTOP_IMAGE: {
        expectObject(value, where, {"infoType", "id", "adapterId", "desktopImageInfo"});
        const std::string place = member(where, "desktopImageInfo");
        const Json& d = value.at("desktopImageInfo");
        expectObject(d, place, {"PathSourceSize", "DesktopImageRegion", "DesktopImageClip"});
        DISPLAYCONFIG_DESKTOP_IMAGE_INFO image{};
        image.PathSourceSize = readPoint(d, "PathSourceSize", place);
        image.DesktopImageRegion = readRect(d, "DesktopImageRegion", place);
        image.DesktopImageClip = readRect(d, "DesktopImageClip", place);
        // The MinGW-w64 headers do not name this variant of the union.
        std::memcpy(reinterpret_cast<unsigned char*>(&mode) +
                        offsetof(DISPLAYCONFIG_MODE_INFO, targetMode),
                    &image, sizeof image);
        break;
    }
    default:
        fail(member(where, "infoType"), std::to_string(infoType) + " is not a mode type (1 to 3)");
    }
    mode.id = bits32(value, "id", where);
    mode.adapterId = readLuid(value, "adapterId", where);
    return mode;
}

std::string luidText(const LUID& luid) {
    char text[24];
    std::snprintf(text, sizeof text, "%08x:%08x", static_cast<unsigned>(luid.HighPart),
                  static_cast<unsigned>(luid.LowPart));
    return text;
}

std::vector<unsigned char> readRecord(const DeviceInfoKey& key, const Json& value,
                                      const std::string& where) {
    const auto type = static_cast<DISPLAYCONFIG_DEVICE_INFO_TYPE>(key.type);
    switch (key.type) {
    case DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME: {
        expectObject(value, where, {"viewGdiDeviceName"});
        auto record = makeRequest<DISPLAYCONFIG_SOURCE_DEVICE_NAME>(type, key.adapterId, key.id);
        readName(record.viewGdiDeviceName, value, "viewGdiDeviceName", where);
        return bytesOf(record);
    }
    case DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME: {
        expectObject(value, where,
                     {"flags", "outputTechnology", "edidManufactureId", "edidProductCodeId",
                      "connectorInstance", "monitorFriendlyDeviceName", "monitorDevicePath"});
        auto record = makeRequest<DISPLAYCONFIG_TARGET_DEVICE_NAME>(type, key.adapterId, key.id);
        record.flags.value = bits32(value, "flags", where);
        record.outputTechnology = static_cast<DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY>(
            long32(value, "outputTechnology", where));
        record.edidManufactureId = bits16(value, "edidManufactureId", where);
        record.edidProductCodeId = bits16(value, "edidProductCodeId", where);
        record.connectorInstance = bits32(value, "connectorInstance", where);
        readName(record.monitorFriendlyDeviceName, value, "monitorFriendlyDeviceName", where);
        readName(record.monitorDevicePath, value, "monitorDevicePath", where);
        return bytesOf(record);
    }
    default: {
        expectObject(value, where, {"width", "height", "targetMode"});
        auto record = makeRequest<DISPLAYCONFIG_TARGET_PREFERRED_MODE>(type, key.adapterId, key.id);
        record.width = bits32(value, "width", where);
        record.height = bits32(value, "height", where);
        record.targetMode = readTargetMode(value, "targetMode", where);
        return bytesOf(record);
    }
    }
}

void readDeviceInfo(const Json& value, const std::string& where, Configuration& configuration) {
    if (!value.is_object()) {
        fail(where, std::string("expected an object, found ") + value.type_name());
    }
    for (const char* name : {"type", "adapterId", "id", "result"}) {
        if (!value.contains(name)) {
            fail(where, std::string("missing field \"") + name + "\"");
        }
    }
    DeviceInfoKey key;
    key.type = bits32(value, "type", where);
    key.adapterId = readLuid(value, "adapterId", where);
    key.id = bits32(value, "id", where);
    DeviceInfoAnswer answer;
    answer.error = long32(value, "result", where);
    if (answer.error != ERROR_SUCCESS) {
        expectObject(value, where, {"type", "adapterId", "id", "result"});
    } else {
        expectObject(value, where, {"type", "adapterId", "id", "result", "size", "record"});
        const UINT32 expected = deviceInfoRecordSize(key.type);
        if (expected == 0) {
            fail(member(where, "type"), "a record of type " + std::to_string(key.type) +
                                            " cannot be given, only an error result");
        }
        const UINT32 size = bits32(value, "size", where);
        if (size != expected) {
            fail(member(where, "size"), std::to_string(size) + " is not the size of a type " +
                                            std::to_string(key.type) + " record (" +
                                            std::to_string(expected) + ")");
        }
        answer.record = readRecord(key, value.at("record"), member(where, "record"));
    }
    if (!configuration.deviceInfo.emplace(key, answer).second) {
        fail(where, "a second answer to the request of type " + std::to_string(key.type) +
                        " for adapter " + luidText(key.adapterId) + ", id " +
                        std::to_string(key.id));
    }
}

DEVMODEW readDisplayMode(const Json& value, const std::string& where) {
    expectObject(value, where,
                 {"dmPelsWidth", "dmPelsHeight", "dmBitsPerPel", "dmDisplayFrequency",
                  "dmDisplayFlags", "dmDisplayOrientation", "dmDisplayFixedOutput", "dmPosition",
                  "dmFields"});
    DEVMODEW mode{};
    mode.dmSpecVersion = DM_SPECVERSION;
    mode.dmSize = sizeof(DEVMODEW);
    mode.dmPelsWidth = bits32(value, "dmPelsWidth", where);
    mode.dmPelsHeight = bits32(value, "dmPelsHeight", where);
    mode.dmBitsPerPel = bits32(value, "dmBitsPerPel", where);
    mode.dmDisplayFrequency = bits32(value, "dmDisplayFrequency", where);
    mode.dmDisplayFlags = bits32(value, "dmDisplayFlags", where);
    mode.dmDisplayOrientation = bits32(value, "dmDisplayOrientation", where);
    mode.dmDisplayFixedOutput = bits32(value, "dmDisplayFixedOutput", where);
    mode.dmPosition = readPoint(value, "dmPosition", where);
    mode.dmFields = bits32(value, "dmFields", where);
    return mode;
}

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

// ---------------------------------------------------------------- writing

Json luidJson(const LUID& luid) {
    return Json{{"LowPart", luid.LowPart}, {"HighPart", luid.HighPart}};
}

Json rationalJson(const DISPLAYCONFIG_RATIONAL& r) {
    return Json{{"Numerator", r.Numerator}, {"Denominator", r.Denominator}};
}

Json pointJson(const POINTL& p) {
    return Json{{"x", p.x}, {"y", p.y}};
}

Json rectJson(const RECTL& r) {
    return Json{{"left", r.left}, {"top", r.top}, {"right", r.right}, {"bottom", r.bottom}};
}

Json signalJson(const DISPLAYCONFIG_VIDEO_SIGNAL_INFO& s) {
    return Json{{"pixelRate", s.pixelRate},
                {"hSyncFreq", rationalJson(s.hSyncFreq)},
                {"vSyncFreq", rationalJson(s.vSyncFreq)},
                {"activeSize", Json{{"cx", s.activeSize.cx}, {"cy", s.activeSize.cy}}},
                {"totalSize", Json{{"cx", s.totalSize.cx}, {"cy", s.totalSize.cy}}},
                {"videoStandard", static_cast<UINT32>(s.videoStandard)},
                {"scanLineOrdering", static_cast<UINT32>(s.scanLineOrdering)}};
}

Json targetModeJson(const DISPLAYCONFIG_TARGET_MODE& m) {
    return Json{{"targetVideoSignalInfo", signalJson(m.targetVideoSignalInfo)}};
}

Json pathJson(const DISPLAYCONFIG_PATH_INFO& p) {
    const DISPLAYCONFIG_PATH_SOURCE_INFO& s = p.sourceInfo;
    const DISPLAYCONFIG_PATH_TARGET_INFO& t = p.targetInfo;
    return Json{{"sourceInfo", Json{{"adapterId", luidJson(s.adapterId)},
                                    {"id", s.id},
                                    {"modeInfoIdx", static_cast<UINT32>(s.modeInfoIdx)},
                                    {"statusFlags", s.statusFlags}}},
                {"targetInfo", Json{{"adapterId", luidJson(t.adapterId)},
                                    {"id", t.id},
                                    {"modeInfoIdx", static_cast<UINT32>(t.modeInfoIdx)},
                                    {"outputTechnology", static_cast<INT32>(t.outputTechnology)},
                                    {"rotation", static_cast<UINT32>(t.rotation)},
                                    {"scaling", static_cast<UINT32>(t.scaling)},
                                    {"refreshRate", rationalJson(t.refreshRate)},
                                    {"scanLineOrdering", static_cast<UINT32>(t.scanLineOrdering)},
                                    {"targetAvailable", static_cast<INT32>(t.targetAvailable)},
                                    {"statusFlags", t.statusFlags}}},
                {"flags", p.flags}};
}

Json modeJson(const DISPLAYCONFIG_MODE_INFO& m) {
    Json json{{"infoType", static_cast<UINT32>(m.infoType)},
              {"id", m.id},
              {"adapterId", luidJson(m.adapterId)}};
    switch (m.infoType) {
    case DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE:
        json["sourceMode"] = Json{{"width", m.sourceMode.width},
                                  {"height", m.sourceMode.height},
                                  {"pixelFormat", static_cast<UINT32>(m.sourceMode.pixelFormat)},
                                  {"position", pointJson(m.sourceMode.position)}};
        break;
    case DISPLAYCONFIG_MODE_INFO_TYPE_TARGET:
        json["targetMode"] = targetModeJson(m.targetMode);
        break;
    case DISPLAYCONFIG_MODE_INFO_TYPE_DESKTOP_IMAGE: {
        DISPLAYCONFIG_DESKTOP_IMAGE_INFO image{};
        std::memcpy(&image,
                    reinterpret_cast<const unsigned char*>(&m) +
                        offsetof(DISPLAYCONFIG_MODE_INFO, targetMode),
                    sizeof image);
        json["desktopImageInfo"] = Json{{"PathSourceSize", pointJson(image.PathSourceSize)},
                                        {"DesktopImageRegion", rectJson(image.DesktopImageRegion)},
                                        {"DesktopImageClip", rectJson(image.DesktopImageClip)}};
        break;
    }
    default:
        throw ConfigurationError("a mode record of type " +
                                 std::to_string(static_cast<UINT32>(m.infoType)) +
                                 " cannot be written");
    }
    return json;
}

template <typename Record>
Record recordFrom(const DeviceInfoKey& key, const DeviceInfoAnswer& answer) {
    Record record{};
    if (!recordOf(answer, record)) {
        throw ConfigurationError("a type " + std::to_string(key.type) + " record of " +
                                 std::to_string(answer.record.size()) + " bytes cannot be written");
    }
    return record;
}

Json deviceInfoJson(const DeviceInfoKey& key, const DeviceInfoAnswer& answer) {
    Json json{{"type", key.type},
              {"adapterId", luidJson(key.adapterId)},
              {"id", key.id},
              {"result", answer.error}};
    if (answer.error != ERROR_SUCCESS) {
        return json;
    }
    json["size"] = deviceInfoRecordSize(key.type);
    switch (key.type) {
    case DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME: {
        const auto r = recordFrom<DISPLAYCONFIG_SOURCE_DEVICE_NAME>(key, answer);
        json["record"] = Json{{"viewGdiDeviceName", toUtf8(nameOf(r.viewGdiDeviceName))}};
        break;
    }
    case DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME: {
        const auto r = recordFrom<DISPLAYCONFIG_TARGET_DEVICE_NAME>(key, answer);
        json["record"] =
            Json{{"flags", r.flags.value},
                 {"outputTechnology", static_cast<INT32>(r.outputTechnology)},
                 {"edidManufactureId", r.edidManufactureId},
                 {"edidProductCodeId", r.edidProductCodeId},
                 {"connectorInstance", r.connectorInstance},
                 {"monitorFriendlyDeviceName", toUtf8(nameOf(r.monitorFriendlyDeviceName))},
                 {"monitorDevicePath", toUtf8(nameOf(r.monitorDevicePath))}};
        break;
    }
    case DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE: {
        const auto r = recordFrom<DISPLAYCONFIG_TARGET_PREFERRED_MODE>(key, answer);
        json["record"] = Json{
            {"width", r.width}, {"height", r.height}, {"targetMode", targetModeJson(r.targetMode)}};
        break;
    }
    default:
        throw ConfigurationError("a record of type " + std::to_string(key.type) +
                                 " cannot be written");
    }
    return json;
}

Json displayModeJson(const DEVMODEW& m) {
    return Json{{"dmPelsWidth", m.dmPelsWidth},
                {"dmPelsHeight", m.dmPelsHeight},
                {"dmBitsPerPel", m.dmBitsPerPel},
                {"dmDisplayFrequency", m.dmDisplayFrequency},
                {"dmDisplayFlags", m.dmDisplayFlags},
                {"dmDisplayOrientation", m.dmDisplayOrientation},
                {"dmDisplayFixedOutput", m.dmDisplayFixedOutput},
                {"dmPosition", pointJson(m.dmPosition)},
                {"dmFields", m.dmFields}};
}

// Writes `items` as a JSON array with one compact element per line.
void writeList(std::string& out, const std::vector<Json>& items, const std::string& indent) {
    if (items.empty()) {
        out += "[]";
        return;
    }
    out += "[\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
        out += indent + "  " + items[i].dump() + (i + 1 < items.size() ? ",\n" : "\n");
    }
    out += indent + "]";
}

} // namespace

Configuration configurationFromJson(const std::string& text) {
    const Json document = readDocument(text);
    expectObject(document, "",
                 {"format", "version", "paths", "modes", "deviceInfo", "displayModes"});
    if (document.at("format") != kFormatName) {
        fail("format", std::string("expected \"") + kFormatName + "\", found " +
                           document.at("format").dump());
    }
    if (integer(document, "version", "", 0, INT32_MAX) != kFormatVersion) {
        fail("version", "only version " + std::to_string(kFormatVersion) + " is understood");
    }

    Configuration configuration;
    const Json& paths = expectArray(document, "paths", "");
    for (std::size_t i = 0; i < paths.size(); ++i) {
        configuration.paths.push_back(readPath(paths[i], element("paths", i)));
    }
    const Json& modes = expectArray(document, "modes", "");
    for (std::size_t i = 0; i < modes.size(); ++i) {
        configuration.modes.push_back(readMode(modes[i], element("modes", i)));
    }
    const Json& infos = expectArray(document, "deviceInfo", "");
    for (std::size_t i = 0; i < infos.size(); ++i) {
        readDeviceInfo(infos[i], element("deviceInfo", i), configuration);
    }
    const Json& devices = expectArray(document, "displayModes", "");
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const std::string where = element("displayModes", i);
        expectObject(devices[i], where, {"device", "modes"});
        const std::u16string device = readText(devices[i], "device", where);
        if (configuration.displayModes.count(device) != 0) {
            fail(member(where, "device"), "a second mode list for " + toUtf8(device));
        }
        std::vector<DEVMODEW>& list = configuration.displayModes[device];
        const Json& entries = expectArray(devices[i], "modes", where);
        for (std::size_t k = 0; k < entries.size(); ++k) {
            list.push_back(readDisplayMode(entries[k], element(member(where, "modes"), k)));
        }
    }

    for (std::size_t i = 0; i < configuration.paths.size(); ++i) {
        const DISPLAYCONFIG_PATH_INFO& path = configuration.paths[i];
        checkModeIndex(configuration, path.sourceInfo.modeInfoIdx,
                       DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE,
                       element("paths", i) + ".sourceInfo.modeInfoIdx");
        checkModeIndex(configuration, path.targetInfo.modeInfoIdx,
                       DISPLAYCONFIG_MODE_INFO_TYPE_TARGET,
                       element("paths", i) + ".targetInfo.modeInfoIdx");
    }
    return configuration;
}

Configuration loadConfigurationFile(const std::string& path) {
    // Some systems open a directory like a file, and then fail to read it.
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        throw ConfigurationError("cannot read the file: it is a directory");
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw ConfigurationError(std::string("cannot open the file: ") + std::strerror(errno));
    }
    // Far above any machine's recording, and a bound for a device that never
    // ends (/dev/zero).
    constexpr std::size_t kMaxSize = std::size_t(16) << 20;
    std::string text;
    char buffer[65536];
    std::size_t n = 0;
    while (text.size() <= kMaxSize && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, n);
    }
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed) {
        throw ConfigurationError(std::string("cannot read the file") +
                                 (error != 0 ? std::string(": ") + std::strerror(error) : ""));
    }
    if (text.size() > kMaxSize) {
        throw ConfigurationError("cannot read the file: larger than 16 MiB");
    }
    return configurationFromJson(text);
}

std::string configurationToJson(const Configuration& configuration) {
    std::vector<Json> paths;
    for (const DISPLAYCONFIG_PATH_INFO& path : configuration.paths) {
        paths.push_back(pathJson(path));
    }
    std::vector<Json> modes;
    for (const DISPLAYCONFIG_MODE_INFO& mode : configuration.modes) {
        modes.push_back(modeJson(mode));
    }
    std::vector<Json> infos;
    for (const auto& [key, answer] : configuration.deviceInfo) {
        infos.push_back(deviceInfoJson(key, answer));
    }

    std::string out = "{\n  \"format\": \"" + std::string(kFormatName) +
                      "\",\n  \"version\": " + std::to_string(kFormatVersion) + ",\n  \"paths\": ";
    writeList(out, paths, "  ");
    out += ",\n  \"modes\": ";
    writeList(out, modes, "  ");
    out += ",\n  \"deviceInfo\": ";
    writeList(out, infos, "  ");
    out += ",\n  \"displayModes\": [";
    std::size_t index = 0;
    for (const auto& [device, list] : configuration.displayModes) {
        std::vector<Json> entries;
        for (const DEVMODEW& mode : list) {
            entries.push_back(displayModeJson(mode));
        }
        out += std::string(index++ == 0 ? "\n" : ",\n") +
               "    {\"device\": " + Json(toUtf8(device)).dump() + ", \"modes\": ";
        writeList(out, entries, "    ");
        out += "}";
    }
    out += configuration.displayModes.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

} // namespace standin
