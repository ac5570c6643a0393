#pragma once

#include <tkl/CommonExport.h>
#include <tkl/String.h>

namespace tkl {

/// A parsed XML element. The runtime has no XML reader: the type is only
/// declared, so deserialization hooks can name it.
class XmlElement;

/// Base of objects that can write themselves as XML.
///
/// doSerialization(name, out) runs serializeBegin(name), serializeMembers(out),
/// serializeEnd() and getSerializedXML(out). Deserialization needs an XML
/// reader, which this runtime does not have: it throws SerializationFailed.
class TKL_COMMON_API Serializable {
public:
    Serializable();
    Serializable(const Serializable& other);
    Serializable& operator=(const Serializable& other);
    virtual ~Serializable();

    virtual void doSerialization(const String& name, String& out);
    virtual void deserialize(const String& xml);
    virtual void deserializeUtf8(const char* xml);

    /// Appends the members' XML to the element being written.
    virtual void serializeMembers(String& out) = 0;
    /// Writes one named member.
    virtual void serializeMember(const String& name) = 0;
    /// The element name of the class.
    virtual const String& className() = 0;

protected:
    virtual void serializeBegin(const String& name);
    virtual void serializeEnd();
    virtual void getSerializedXML(String& out);
    virtual void deserializeBegin(const XmlElement* element);
    virtual void deserializeEnd();

private:
    String elementName_;
    String xml_;
};

} // namespace tkl
