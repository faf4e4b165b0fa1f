// The MSXML adapter behind CreateXmlReader on Windows, open to tests that
// hand it a SAX reader of their own.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <msxml2.h>

#include <memory>

#include "transport/xml_reader.h"

namespace soap {

// Takes over the caller's reference to sax (released also on failure). A
// reader that does not accept "prohibit-dtd" yields a reader whose every
// parse fails.
Status WrapSaxReader(ISAXXMLReader* sax, std::unique_ptr<IXmlReader>* reader);

}  // namespace soap
