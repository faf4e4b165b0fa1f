// What a rate client takes from the platform it runs on: its connections and
// the maker of its XML reader.
#pragma once

#include <memory>

#include "transport/connection.h"
#include "transport/event_socket.h"
#include "transport/xml_reader.h"

namespace soap {

// The portable core never names the platform's own socket or reader (on
// Windows they live in the Windows library): whoever makes a client hands
// them in.
struct ClientParts {
    std::unique_ptr<IConnection> (*newConnection)();
    XmlReaderFactory newReader;
};

// The platform's socket and reader. Inline, so that they are linked where a
// client is made, never by the core's own code.
inline ClientParts PlatformParts() {
    return {[]() -> std::unique_ptr<IConnection> { return std::make_unique<CEventSocket>(); }, CreateXmlReader};
}

}  // namespace soap
