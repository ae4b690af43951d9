// The panel's live-channel parser on any text: it never throws, a request it
// accepts stays within the bounds, and a refused one says why.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zorvpanel;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Parsed parsed = parseRequest(text);
    if (!parsed.request) {
        if (parsed.error.empty()) std::abort();
        return 0;
    }
    const Request& r = *parsed.request;
    if (r.device > maxNumber || r.index > maxNumber || r.source < 0 || r.text.size() > maxTextBytes ||
        r.takes.size() > maxSalvoTakes) {
        std::abort();
    }
    if (r.op != Op::auth && r.device == 0) std::abort();
    if (r.op == Op::salvo && r.takes.empty()) std::abort();
    replyText(r.id, Outcome::error(400, parsed.error));
    return 0;
}
