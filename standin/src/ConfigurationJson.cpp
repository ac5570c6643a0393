// The recording format: a strict parse of the text (DocumentBuilder), its
// layout, and the one mapping of each record to JSON, whose fields are listed
// once (Fields::of) and drive both the reader, which takes exactly those
// fields, and the writer.
#include <standin/ConfigurationJson.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace standin {
namespace {

using Json = nlohmann::ordered_json;

// What is wrong, and where: the place in the document
// ("paths[2].targetInfo"; empty for the document itself) and the fault.
struct Fault {
    std::string place;
    std::string what;
};

[[noreturn]] void fail(const std::string& place, const std::string& what) {
    throw Fault{place, what};
}

// How deep values may nest: the format itself needs 7 levels (the document,
// a table, a record, and four levels of fields in a device-information record).
constexpr std::size_t kMaxDepth = 32;

// Empties `value` from its leaves up. nlohmann's destructor first moves a
// container's children to a vector of its own, which allocates, and an
// allocation that fails inside a destructor ends the program; an emptied
// container needs no such vector. Values nest at most kMaxDepth levels
// (DocumentBuilder), which bounds the recursion.
void release(Json& value) noexcept {
    if (value.is_array()) {
        auto& items = value.get_ref<Json::array_t&>();
        for (Json& item : items) {
            release(item);
        }
        items.clear();
    } else if (value.is_object()) {
        auto& fields = value.get_ref<Json::object_t&>();
        for (auto& field : fields) {
            release(field.second);
        }
        fields.clear();
    }
}

// A value that is released (release()) when it goes.
struct Owned {
    Owned() = default;
    Owned(Owned&& other) noexcept : value(std::move(other.value)) {}
    Owned& operator=(Owned&&) = delete;
    ~Owned() { release(value); }
    Json value;
};

// Builds the document from the parser's events, as nlohmann's own builder does,
// and refuses on the way, with the place, what that builder would take
// silently or not survive: nesting deeper than kMaxDepth (walking a deep value
// would overflow the stack), a field given twice (the builder keeps the last),
// a NUL inside a text (which would cut a name short), and numbers no type holds.
// Whatever happens, no value is destroyed in a way that allocates (release()).
class DocumentBuilder : public nlohmann::json_sax<Json> {
public:
    DocumentBuilder() { frames_.reserve(kMaxDepth); } // frames never move

    ~DocumentBuilder() override {
        for (Frame& frame : frames_) {
            frame.release();
        }
    }

    Owned take() { return std::move(root_); }

    bool null() override { return add(nullptr); }
    bool boolean(bool value) override { return add(value); }
    bool number_integer(number_integer_t value) override { return add(value); }
    bool number_unsigned(number_unsigned_t value) override { return add(value); }
    bool number_float(number_float_t value, const string_t& text) override {
        // An integer literal too large for 64 bits reaches here as a float.
        if (text.find_first_not_of("-0123456789") == std::string::npos) {
            fail(nextPlace(), text + " is out of range");
        }
        return add(value);
    }
    bool string(string_t& value) override {
        if (value.find('\0') != std::string::npos) {
            fail(nextPlace(), "the text holds a NUL character");
        }
        return add(std::move(value));
    }
    bool binary(binary_t&) override { return add(Json()); } // never in JSON text

    bool start_object(std::size_t) override { return open(false); }
    bool start_array(std::size_t) override { return open(true); }
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
    // An open object or array, whose contents go to its parent once it is
    // complete. An object's fields are kept as plain pairs until then:
    // nlohmann's ordered object copies all its fields whenever it grows, and
    // destroys the old ones.
    struct Frame {
        bool array;
        Json::array_t items;                              // arrays: the elements so far
        std::vector<std::pair<std::string, Json>> fields; // objects: the fields so far
        std::string key;                                  // objects: the field being read
        std::set<std::string> keys;                       // objects: the names read so far

        void release() noexcept {
            for (Json& item : items) {
                standin::release(item);
            }
            for (auto& field : fields) {
                standin::release(field.second);
            }
        }
    };

    // The place of the container of frame `depth` (0: the document), or with
    // depth = frames_.size() the place of the next value; spelled out only
    // when something is refused. An open child is not yet among its parent's
    // elements.
    std::string placeOf(std::size_t depth) const {
        std::string place;
        for (std::size_t i = 0; i < depth; ++i) {
            const Frame& frame = frames_[i];
            place = frame.array     ? place + "[" + std::to_string(frame.items.size()) + "]"
                    : place.empty() ? frame.key
                                    : place + "." + frame.key;
        }
        return place;
    }

    std::string nextPlace() const { return placeOf(frames_.size()); }

    // Moves `value` where the next value goes; on failure `value` is left as
    // it was.
    void put(Json& value) {
        if (frames_.empty()) {
            root_.value = std::move(value);
            return;
        }
        Frame& frame = frames_.back();
        if (frame.array) {
            frame.items.push_back(std::move(value));
        } else {
            frame.fields.emplace_back(std::move(frame.key), std::move(value));
        }
    }

    bool add(Json value) {
        put(value);
        return true;
    }

    bool open(bool array) {
        if (frames_.size() == kMaxDepth) {
            fail(nextPlace(), "nested deeper than " + std::to_string(kMaxDepth) + " levels");
        }
        frames_.push_back(Frame{array, {}, {}, std::string(), {}});
        return true;
    }

    // The open container, complete, goes to its parent. Its object is made
    // with room for every field, so that it never grows.
    bool close() {
        Owned complete;
        Frame& frame = frames_.back();
        if (frame.array) {
            complete.value = Json::array();
            complete.value.get_ref<Json::array_t&>().swap(frame.items);
        } else {
            complete.value = Json::object();
            auto& fields =
                static_cast<Json::object_t::Container&>(complete.value.get_ref<Json::object_t&>());
            fields.reserve(frame.fields.size());
            for (auto& [name, field] : frame.fields) {
                fields.emplace_back(std::move(name), std::move(field));
            }
        }
        frames_.pop_back();
        put(complete.value);
        return true;
    }

    Owned root_;
    std::vector<Frame> frames_;
};

// Parses a whole JSON text, refusing what the records' reader would take
// silently or not survive; throws Fault.
Owned parseText(const std::string& text) {
    // nlohmann's reader takes a NUL byte for the end of the text, and would
    // then take the document without what follows.
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        const std::size_t lineStart = text.rfind('\n', nul);
        const auto line = std::count(text.begin(), text.begin() + std::ptrdiff_t(nul), '\n') + 1;
        const std::size_t column = nul - (lineStart == std::string::npos ? 0 : lineStart + 1) + 1;
        fail("", "JSON syntax error: a NUL byte at line " + std::to_string(line) + ", column " +
                     std::to_string(column));
    }
    DocumentBuilder builder;
    Json::sax_parse(text, &builder);
    return builder.take();
}

// Appends `document` as the format lays it out: one field per line, a table
// as one entry per line, an entry holding a table as "name": value pairs on
// its line, anything else as compact JSON.
void layout(std::string& out, const Json& value, const std::string& indent = "") {
    const bool document = indent.empty();
    if (value.is_array()) {
        out += value.empty() ? "[]" : "[\n";
        for (std::size_t i = 0; i < value.size(); ++i) {
            out += indent + "  ";
            layout(out, value[i], indent + "  ");
            out += i + 1 < value.size() ? ",\n" : "\n" + indent + "]";
        }
    } else if (document || std::any_of(value.begin(), value.end(),
                                       [](const Json& field) { return field.is_array(); })) {
        out += document ? "{\n  " : "{";
        for (auto it = value.begin(); it != value.end(); ++it) {
            out += it == value.begin() ? "" : document ? ",\n  " : ", ";
            out += Json(it.key()).dump() + ": ";
            layout(out, it.value(), document ? "  " : indent);
        }
        out += document ? "\n}\n" : "}";
    } else {
        out += value.dump();
    }
}

constexpr int kFormatVersion = 1;
constexpr const char* kFormatName = "vpi-display-config";

using DeviceInfoEntry = std::pair<DeviceInfoKey, DeviceInfoAnswer>;
using ModeList = std::pair<std::u16string, std::vector<DEVMODEW>>;
using DesktopEntry = std::pair<std::u16string, VpiDesktopFacts>;
using EdidEntry = std::pair<std::u16string, std::vector<unsigned char>>;

struct Document : Configuration {
    Json format = kFormatName;
    Json version = kFormatVersion;
};

// Runs `read`; a fault inside gets `step` (a field name or "[index]") in front
// of its place.
template <typename Read> void within(const std::string& step, Read&& read) {
    try {
        read();
    } catch (Fault& fault) {
        const bool dot = !fault.place.empty() && fault.place[0] != '[';
        fault.place = step + (dot ? "." : "") + fault.place;
        throw;
    }
}

void expect(bool found, const char* what, const Json& value) {
    if (!found) {
        fail("", std::string("expected ") + what + ", found " + value.type_name());
    }
}

std::int64_t integer(const Json& value, std::int64_t min, std::int64_t max) {
    expect(value.is_number_integer(), "an integer", value);
    if (value.is_number_unsigned() && value.get<std::uint64_t>() > std::uint64_t(INT64_MAX)) {
        fail("", value.dump() + " is out of range");
    }
    const std::int64_t n = value.get<std::int64_t>();
    if (n < min || n > max) {
        fail("", std::to_string(n) + " is out of range (" + std::to_string(min) + " to " +
                     std::to_string(max) + ")");
    }
    return n;
}

// The tables: a list, or entries by key (read into an Entry, key included).
template <typename T> struct Table : std::false_type {};
template <typename T> struct Table<std::vector<T>> : std::true_type { using Entry = T; };
template <typename K, typename M, typename C, typename A>
struct Table<std::map<K, M, C, A>> : std::true_type {
    using Entry = std::pair<K, M>;
};

// An integer field's type, or an enumeration's underlying one, whose
// signedness the written number keeps.
template <typename T>
using Integer = typename std::conditional_t<std::is_enum_v<T>, std::underlying_type<T>,
                                            std::common_type<T>>::type;

// Reads a record from a JSON object, each field named once, none missing and
// none other, or writes one into an object; Fields::of names the fields.
class Codec {
public:
    template <typename T> static void read(const Json& value, T& field);
    template <typename T> static Json write(const T& field);
    template <typename T> void operator()(const char* name, T& field);
    // A member that may be left out: absent, it reads as empty, and an empty
    // one is not written.
    template <typename T> void operator()(const char* name, std::optional<T>& field);
    // A member that older documents lack: read when present, written when
    // not empty, so that a document without it writes back the same text.
    template <typename T> void optional(const char* name, T& field) {
        if (reading() ? in_->find(name) != in_->end() : !field.empty()) {
            (*this)(name, field);
        }
    }

    // A reading codec refuses, with the place, what a writing one cannot write.
    [[noreturn]] void refuse(const char* field, const std::string& reading,
                             const std::string& writing) const {
        if (in_ != nullptr) {
            fail(field, reading);
        }
        throw ConfigurationError(writing);
    }

    bool reading() const { return in_ != nullptr; }

private:
    explicit Codec(const Json* in) : in_(in) {}

    template <typename T> static void add(std::vector<T>& table, const Json& value) {
        read(value, table.emplace_back());
    }
    template <typename K, typename M, typename C, typename A>
    static void add(std::map<K, M, C, A>& table, const Json& value);

    const Json* in_;                 // reading: the object
    std::vector<const char*> names_; // reading: the fields taken
    Json out_;                       // writing: the object (null until a field is written)
};

// Each record's fields, named as the platform declares them and in its order,
// for the reader and the writer alike: of(v, record) calls v(name, field) for
// each. VPI_FIELDS(a, b) stands for v("a", r.a); v("b", r.b) (through the
// macro that nlohmann's own type definitions expand with), and VPI_RECORD
// defines of() for a record that is nothing but its fields.
#define VPI_FIELD(name) v(#name, r.name);
#define VPI_FIELDS(...) NLOHMANN_JSON_EXPAND(NLOHMANN_JSON_PASTE(VPI_FIELD, __VA_ARGS__))
#define VPI_RECORD(Type, ...)                                                                      \
    static void of(Codec& v, Type& r) {                                                            \
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
    VPI_RECORD(DISPLAYCONFIG_SDR_WHITE_LEVEL, SDRWhiteLevel)

    // The bit-field union as its value.
    static void of(Codec& v, DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO& r) {
        v("value", r.value);
        VPI_FIELDS(colorEncoding, bitsPerColorChannel);
    }

    // The flags union as its value.
    static void of(Codec& v, DISPLAYCONFIG_TARGET_DEVICE_NAME& r) {
        v("flags", r.flags.value);
        VPI_FIELDS(outputTechnology, edidManufactureId, edidProductCodeId, connectorInstance,
                   monitorFriendlyDeviceName, monitorDevicePath);
    }

    // Then the variant that infoType names.
    static void of(Codec& v, DISPLAYCONFIG_MODE_INFO& r) {
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
            v.refuse("infoType", type + " is not a mode type (1 to 3)",
                     "a mode record of type " + type + " cannot be written");
        }
    }

    static void of(Codec& v, DEVMODEW& r) {
        r.dmSpecVersion = DM_SPECVERSION; // the header of a record read from a file
        r.dmSize = sizeof(DEVMODEW);
        VPI_FIELDS(dmPelsWidth, dmPelsHeight, dmBitsPerPel, dmDisplayFrequency, dmDisplayFlags,
                   dmDisplayOrientation, dmDisplayFixedOutput, dmPosition, dmFields);
    }

    // A request (its header's fields) and its answer: an error result alone,
    // or result 0 with the record of the request's type.
    static void of(Codec& v, DeviceInfoEntry& r) {
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
        case DISPLAYCONFIG_DEVICE_INFO_GET_ADVANCED_COLOR_INFO:
            return answer<DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO>(v, r);
        case DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL:
            return answer<DISPLAYCONFIG_SDR_WHITE_LEVEL>(v, r);
        default:
            const std::string record = "a record of type " + std::to_string(r.first.type);
            v.refuse("type", record + " cannot be given, only an error result",
                     record + " cannot be written");
        }
    }

    template <typename Record> static void answer(Codec& v, DeviceInfoEntry& r) {
        const std::string type = std::to_string(r.first.type);
        auto record =
            makeDeviceInfoRequest<Record>(static_cast<DISPLAYCONFIG_DEVICE_INFO_TYPE>(r.first.type),
                                          r.first.adapterId, r.first.id);
        if (!v.reading() && !recordOf(r.second, record)) {
            throw ConfigurationError("a type " + type + " record of " +
                                     std::to_string(r.second.record.size()) +
                                     " bytes cannot be written");
        }
        UINT32 size = sizeof(Record);
        v("size", size);
        if (size != sizeof(Record)) {
            fail("size", std::to_string(size) + " is not the size of a type " + type + " record (" +
                             std::to_string(sizeof(Record)) + ")");
        }
        v("record", record);
        r.second.record = bytesOf(record);
    }

    static void of(Codec& v, ModeList& r) {
        v("device", r.first);
        v("modes", r.second);
    }

    // One device's desktop facts: its flags as "primary", its DPI's source by
    // name, and no size (the record's own).
    static void of(Codec& v, DesktopEntry& r) {
        VpiDesktopFacts& facts = r.second;
        facts.size = sizeof facts;
        v("device", r.first);
        bool primary = (facts.flags & VPI_DESKTOP_PRIMARY) != 0;
        v("primary", primary);
        facts.flags = primary ? VPI_DESKTOP_PRIMARY : 0;
        v("monitorRect", facts.monitorRect);
        v("workArea", facts.workArea);
        v("dpi", facts.dpi);
        if (facts.dpi == 0) {
            v.refuse("dpi", "0 is not a DPI", "a DPI of 0 cannot be written");
        }
        // By name, in the order of the VPI_DPI_* values.
        static const char* const sources[] = {"system", "effective"};
        std::string source;
        if (!v.reading()) {
            if (facts.dpiSource >= std::size(sources)) {
                throw ConfigurationError("a DPI source of " + std::to_string(facts.dpiSource) +
                                         " cannot be written");
            }
            source = sources[facts.dpiSource];
        }
        v("dpiSource", source);
        const auto known = std::find(std::begin(sources), std::end(sources), source);
        if (known == std::end(sources)) {
            v.refuse("dpiSource",
                     "expected \"system\" or \"effective\", found " + Json(source).dump(), "");
        }
        facts.dpiSource = static_cast<UINT32>(known - std::begin(sources));
    }

    // A monitor's device path and its EDID as hexadecimal digits, two per
    // byte (written in lower case).
    static void of(Codec& v, EdidEntry& r) {
        v("monitorDevicePath", r.first);
        if (r.first.empty()) {
            v.refuse("monitorDevicePath", "an empty path names no monitor",
                     "an EDID without a monitor device path cannot be written");
        }
        Json hex = v.reading() ? Json() : Json(hexOf(r.second));
        v("edid", hex);
        if (v.reading()) {
            within("edid", [&] { r.second = bytesOfHex(hex); });
        }
    }

    static void of(Codec& v, Document& r) {
        VPI_FIELDS(format, version);
        // Compared as a string: comparing with a Json value would make one
        // inside a function that may not throw.
        if (!r.format.is_string() || r.format.get_ref<const std::string&>() != kFormatName) {
            fail("format",
                 std::string("expected \"") + kFormatName + "\", found " + r.format.dump());
        }
        within("version", [&] {
            if (integer(r.version, 0, INT32_MAX) != kFormatVersion) {
                fail("", "only version " + std::to_string(kFormatVersion) + " is understood");
            }
        });
        VPI_FIELDS(paths, modes, deviceInfo, displayModes);
        v("desktop", r.desktop);
        v.optional("edids", r.edids);
    }

    // Keyed tables take one entry per key.
    [[noreturn]] static void duplicate(const DeviceInfoEntry& r) {
        char adapter[24];
        std::snprintf(adapter, sizeof adapter, "%08x:%08x",
                      static_cast<unsigned>(r.first.adapterId.HighPart),
                      static_cast<unsigned>(r.first.adapterId.LowPart));
        fail("", "a second answer to the request of type " + std::to_string(r.first.type) +
                     " for adapter " + adapter + ", id " + std::to_string(r.first.id));
    }
    [[noreturn]] static void duplicate(const ModeList& r) {
        fail("device", "a second mode list for " + toUtf8(r.first));
    }
    [[noreturn]] static void duplicate(const DesktopEntry& r) {
        fail("device", "a second entry for " + toUtf8(r.first));
    }
    // Paths that differ in case alone name one monitor.
    [[noreturn]] static void duplicate(const EdidEntry& r) {
        fail("monitorDevicePath", "a second EDID for " + toUtf8(r.first));
    }

    static std::string hexOf(const std::vector<unsigned char>& bytes) {
        static const char digits[] = "0123456789abcdef";
        std::string text;
        text.reserve(2 * bytes.size());
        for (const unsigned char byte : bytes) {
            text += digits[byte >> 4];
            text += digits[byte & 0xF];
        }
        return text;
    }

    // Either case of the digits; nothing else, not even blanks.
    static std::vector<unsigned char> bytesOfHex(const Json& value) {
        expect(value.is_string(), "a string of hexadecimal digits", value);
        const std::string& text = value.get_ref<const std::string&>();
        if (text.size() % 2 != 0) {
            fail("", "an odd number of hexadecimal digits (" + std::to_string(text.size()) + ")");
        }
        const auto digit = [&](std::size_t i) {
            const char c = text[i];
            if (c >= '0' && c <= '9') {
                return c - '0';
            }
            if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) {
                return (c | 0x20) - 'a' + 10;
            }
            fail("", "character " + std::to_string(i) + " is not a hexadecimal digit");
        };
        std::vector<unsigned char> bytes(text.size() / 2);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<unsigned char>(digit(2 * i) << 4 | digit(2 * i + 1));
        }
        return bytes;
    }
};

template <typename T> void Codec::read(const Json& value, T& field) {
    if constexpr (std::is_same_v<T, bool>) {
        expect(value.is_boolean(), "true or false", value);
        field = value.get<bool>();
    } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
        // 32-bit fields take a signed or an unsigned number and keep its bits:
        // -1 and 4294967295 are both 0xFFFFFFFF. The one 64-bit field is unsigned.
        const std::int64_t low = sizeof(T) == 4 ? INT32_MIN : 0;
        const std::int64_t high = sizeof(T) == 2   ? UINT16_MAX
                                  : sizeof(T) == 4 ? UINT32_MAX
                                                   : INT64_MAX;
        const std::uint64_t bits = sizeof(T) == 8 && value.is_number_unsigned()
                                       ? value.get<std::uint64_t>()
                                       : static_cast<std::uint64_t>(integer(value, low, high));
        field = static_cast<T>(static_cast<Integer<T>>(bits));
    } else if constexpr (std::is_same_v<T, std::string>) {
        expect(value.is_string(), "a string", value);
        field = value.get<std::string>();
    } else if constexpr (std::is_array_v<T> || std::is_same_v<T, std::u16string>) {
        expect(value.is_string(), "a string", value);
        const std::u16string text = fromUtf8(value.get<std::string>());
        if constexpr (std::is_array_v<T>) { // a fixed name field
            if (text.size() > std::extent_v<T>) {
                fail("", std::to_string(text.size()) + " UTF-16 units do not fit a field of " +
                             std::to_string(std::extent_v<T>));
            }
            copyName(field, text);
        } else {
            field = text;
        }
    } else if constexpr (std::is_same_v<T, Json>) {
        field = value;
    } else if constexpr (Table<T>::value) {
        expect(value.is_array(), "an array", value);
        for (std::size_t i = 0; i < value.size(); ++i) {
            within("[" + std::to_string(i) + "]", [&] { add(field, value[i]); });
        }
    } else {
        expect(value.is_object(), "an object", value);
        Codec codec(&value);
        Fields::of(codec, field);
        // Every field taken was found, and names differ: any other is unknown.
        for (auto it = value.begin(); codec.names_.size() != value.size(); ++it) {
            if (std::find(codec.names_.begin(), codec.names_.end(), it.key()) ==
                codec.names_.end()) {
                fail("", "unknown field \"" + it.key() + "\"");
            }
        }
    }
}

template <typename K, typename M, typename C, typename A>
void Codec::add(std::map<K, M, C, A>& table, const Json& value) {
    std::pair<K, M> entry;
    read(value, entry);
    if (!table.insert(entry).second) {
        Fields::duplicate(entry);
    }
}

template <typename T> Json Codec::write(const T& field) {
    if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, std::string>) {
        return Json(field);
    } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
        return Json(static_cast<Integer<T>>(field));
    } else if constexpr (std::is_array_v<T>) {
        return Json(toUtf8(nameOf(field)));
    } else if constexpr (std::is_same_v<T, std::u16string>) {
        return Json(toUtf8(field));
    } else if constexpr (std::is_same_v<T, Json>) {
        return field;
    } else if constexpr (Table<T>::value) {
        Json table = Json::array();
        for (const auto& entry : field) {
            table.push_back(write(typename Table<T>::Entry(entry)));
        }
        return table;
    } else {
        Codec codec(nullptr);
        T record = field;
        Fields::of(codec, record);
        return std::move(codec.out_);
    }
}

template <typename T> void Codec::operator()(const char* name, T& field) {
    if (!reading()) {
        out_[name] = write(field);
        return;
    }
    const auto it = in_->find(name);
    if (it == in_->end()) {
        fail("", std::string("missing field \"") + name + "\"");
    }
    names_.push_back(name);
    within(name, [&] { read(*it, field); });
}

template <typename T> void Codec::operator()(const char* name, std::optional<T>& field) {
    if (!reading()) {
        if (field) {
            out_[name] = write(*field);
        }
        return;
    }
    if (in_->find(name) == in_->end()) {
        field.reset();
        return;
    }
    (*this)(name, field.emplace());
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

// The platform has one primary display device at most.
void checkOnePrimary(const Configuration& configuration) {
    if (!configuration.desktop) {
        return;
    }
    std::vector<std::string> primary;
    for (const auto& [device, facts] : *configuration.desktop) {
        if ((facts.flags & VPI_DESKTOP_PRIMARY) != 0) {
            primary.push_back(toUtf8(device));
        }
    }
    if (primary.size() > 1) {
        fail("desktop", "more than one primary device (" + primary[0] + ", " + primary[1] + ")");
    }
}

} // namespace

Configuration configurationFromJson(const std::string& text) {
    try {
        Document document;
        Codec::read(parseText(text).value, document);
        for (std::size_t i = 0; i < document.paths.size(); ++i) {
            const std::string path = "paths[" + std::to_string(i) + "]";
            checkModeIndex(document, document.paths[i].sourceInfo.modeInfoIdx,
                           DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE, path + ".sourceInfo.modeInfoIdx");
            checkModeIndex(document, document.paths[i].targetInfo.modeInfoIdx,
                           DISPLAYCONFIG_MODE_INFO_TYPE_TARGET, path + ".targetInfo.modeInfoIdx");
        }
        checkOnePrimary(document);
        return std::move(static_cast<Configuration&>(document));
    } catch (const Fault& fault) {
        throw ConfigurationError(fault.place.empty() ? fault.what
                                                     : fault.place + ": " + fault.what);
    }
}

namespace {

// What a path that is not a regular file names, for the message.
std::string notARegularFile(const struct stat& status) {
    const char* kind = S_ISDIR(status.st_mode)   ? "a directory"
                       : S_ISCHR(status.st_mode) ? "a character device"
#ifndef _WIN32
                       : S_ISFIFO(status.st_mode) ? "a FIFO"
                       : S_ISSOCK(status.st_mode) ? "a socket"
                       : S_ISBLK(status.st_mode)  ? "a block device"
#endif
                                                 : "something else";
    return std::string("cannot read the file: it is ") + kind + ", not a regular file";
}

// Closes a file descriptor when it goes.
struct Descriptor {
    int fd;
    ~Descriptor() { ::close(fd); }
};

} // namespace

Configuration loadConfigurationFile(const std::string& path) {
    // Opened without waiting and read only if it is a regular file: a FIFO
    // with no writer, or a terminal, would block the opening or the reading
    // for good. (On Windows no opening waits, and a device such as CON is
    // refused before it is read.)
#ifdef _WIN32
    const int fd = ::open(path.c_str(), O_RDONLY | O_BINARY);
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
#endif
    struct stat status {};
    if (fd < 0) {
        const int error = errno;
        // Some systems refuse to open a directory, and none opens a socket.
        if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
            throw ConfigurationError(notARegularFile(status));
        }
        throw ConfigurationError(std::string("cannot open the file: ") + std::strerror(error));
    }
    const Descriptor file{fd};
    if (::fstat(fd, &status) != 0) {
        throw ConfigurationError(std::string("cannot read the file: ") + std::strerror(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        throw ConfigurationError(notARegularFile(status));
    }
    // Far above any machine's recording; the reading stops there too, for a
    // file that grows while it is read.
    constexpr std::size_t kMaxSize = std::size_t(16) << 20;
    const auto tooLarge = [] {
        return ConfigurationError("cannot read the file: larger than 16 MiB");
    };
    if (std::uintmax_t(status.st_size) > kMaxSize) {
        throw tooLarge();
    }
    std::string text;
    text.reserve(std::size_t(status.st_size));
    char buffer[65536];
    while (text.size() <= kMaxSize) {
        const auto n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw ConfigurationError(std::string("cannot read the file: ") + std::strerror(errno));
        }
        text.append(buffer, std::size_t(n));
    }
    if (text.size() > kMaxSize) {
        throw tooLarge();
    }
    return configurationFromJson(text);
}

std::string configurationToJson(const Configuration& configuration) {
    Document document;
    static_cast<Configuration&>(document) = configuration;
    // An adapter name that the stand-in makes up when there is none is left
    // out, so that a recording made before adapter names were recorded
    // replays and records to the same text.
    for (auto it = document.deviceInfo.begin(); it != document.deviceInfo.end();) {
        const LUID& adapter = it->first.adapterId;
        DISPLAYCONFIG_ADAPTER_NAME name{};
        const bool madeUp = it->first.type == DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME &&
                            recordOf(it->second, name) && configuration.namesAdapter(adapter) &&
                            nameOf(name.adapterDevicePath) == madeUpAdapterPath(adapter);
        // What the stand-in answers to a request of another type with no
        // entry: a recording made before such requests were recorded.
        const bool unanswered =
            !isNameOrModeRequest(it->first.type) && it->second.error == ERROR_NOT_SUPPORTED;
        it = madeUp || unanswered ? document.deviceInfo.erase(it) : std::next(it);
    }
    // So is a desktop that the stand-in derives from the paths without one.
    if (document.desktop) {
        const auto derived = derivedDesktop(configuration);
        if (std::equal(derived.begin(), derived.end(), document.desktop->begin(),
                       document.desktop->end(), [](const auto& a, const auto& b) {
                           return a.first == b.first && sameDesktopFacts(a.second, b.second);
                       })) {
            document.desktop.reset();
        }
    }
    std::string out;
    layout(out, Codec::write(document));
    return out;
}

} // namespace standin
