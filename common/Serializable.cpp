#include <tkl/Exception.h>
#include <tkl/Serializable.h>

namespace tkl {

Serializable::Serializable() = default;

// The serialization state belongs to one object; copies start afresh.
Serializable::Serializable(const Serializable& /*other*/) {}
Serializable& Serializable::operator=(const Serializable& /*other*/) {
    return *this;
}

Serializable::~Serializable() = default;

void Serializable::doSerialization(const String& name, String& out) {
    serializeBegin(name);
    String members;
    serializeMembers(members);
    xml_ += members;
    serializeEnd();
    getSerializedXML(out);
}

void Serializable::deserialize(const String& /*xml*/) {
    throw SerializationFailed("Deserialization is not supported for: " + className());
}

void Serializable::deserializeUtf8(const char* xml) {
    deserialize(String(xml));
}

void Serializable::serializeBegin(const String& name) {
    elementName_ = name;
    xml_ = "<" + name;
    xml_ += String(">");
}

void Serializable::serializeEnd() {
    xml_ += "</" + elementName_;
    xml_ += String(">");
}

void Serializable::getSerializedXML(String& out) {
    out = xml_;
}

void Serializable::deserializeBegin(const XmlElement* /*element*/) {}

void Serializable::deserializeEnd() {}

} // namespace tkl
