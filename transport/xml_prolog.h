// What comes before a document's root element, checked without an XML
// reader: for readers that cannot be trusted to refuse a document type.
#pragma once

#include <cstddef>

namespace soap {

// True when the bytes open with a prolog of nothing but white space, the
// XML declaration, processing instructions and comments, read as UTF-8 or
// (after a byte-order mark, or "<" as a 16-bit unit) UTF-16, followed by the
// root element's "<" or by the end. A document type, anything the check
// cannot read (other encodings included) and stray text are refused.
bool PrologIsPlain(const char* data, size_t len);

}  // namespace soap
