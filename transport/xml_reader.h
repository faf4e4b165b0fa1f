// The small event interface the SOAP readers are written against, and the
// platform's namespace-aware streaming XML reader behind it (MSXML's SAX
// reader on Windows, expat elsewhere). Names and text arrive as UTF-16 with
// namespaces resolved; text may arrive in several pieces.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "transport/soap_result.h"

namespace soap {

using XmlText = std::u16string_view;

class IXmlAttributes {
public:
    // Attributes without a namespace are asked for with an empty uri.
    virtual bool FindByName(XmlText uri, XmlText localName, XmlText* value) const = 0;
    virtual bool FindByQName(XmlText qName, XmlText* value) const = 0;

protected:
    ~IXmlAttributes() = default;
};

// Returning false stops the parse; the reader then reports failure.
class IXmlContentHandler {
public:
    virtual bool StartPrefixMapping(XmlText prefix, XmlText uri) = 0;
    virtual bool StartElement(XmlText uri, XmlText localName, XmlText qName,
                              const IXmlAttributes& attributes) = 0;
    virtual bool EndElement(XmlText uri, XmlText localName, XmlText qName) = 0;
    virtual bool Characters(XmlText text) = 0;

protected:
    ~IXmlContentHandler() = default;
};

class IXmlReader {
public:
    virtual ~IXmlReader() = default;
    // nullptr detaches the handler.
    virtual Status SetContentHandler(IXmlContentHandler* handler) = 0;
    // Parses one whole document held by the caller; the bytes are read in
    // place. Fails on malformed XML, on a document type declaration, and when
    // a handler returns false.
    virtual Status Parse(const char* data, size_t len) = 0;
};

// Makes a reader; what a service client is handed instead of naming the
// platform's.
using XmlReaderFactory = Status (*)(std::unique_ptr<IXmlReader>* reader);

// The platform reader. On Windows COM must be initialised on the thread.
Status CreateXmlReader(std::unique_ptr<IXmlReader>* reader);

}  // namespace soap
