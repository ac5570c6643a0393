#include "JsonCodec.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

namespace standin {
namespace {

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

    bool start_object(std::size_t) override { return open(Json::object()); }
    bool start_array(std::size_t) override { return open(Json::array()); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }

    bool key(string_t& name) override {
        if (name.find('\0') != std::string::npos) {
            fail(placeOf(frames_.size() - 1), "a field name holds a NUL character");
        }
        if (!frames_.back().keys.insert(name).second) {
            fail(placeOf(frames_.size() - 1), "a second field \"" + name + "\"");
        }
        frames_.back().key = std::move(name);
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
    // depth = frames_.size() the place of the next value; spelled out only
    // when something is refused.
    std::string placeOf(std::size_t depth) const {
        std::string place;
        for (std::size_t i = 0; i < depth; ++i) {
            const Json& value = *frames_[i].value;
            // An open child is already the array's last element.
            const std::size_t index = value.size() - (i + 1 < frames_.size() ? 1 : 0);
            place = value.is_array() ? place + "[" + std::to_string(index) + "]"
                    : place.empty()  ? frames_[i].key
                                     : place + "." + frames_[i].key;
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
        frames_.push_back(Frame{put(std::move(container)), std::string(), {}});
        return true;
    }

    bool close() {
        frames_.pop_back();
        return true;
    }

    Json root_;
    std::vector<Frame> frames_;
};

} // namespace

Json parseText(const std::string& text) {
    DocumentBuilder builder;
    Json::sax_parse(text, &builder);
    return builder.take();
}

void layout(std::string& out, const Json& value, const std::string& indent) {
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

} // namespace standin
