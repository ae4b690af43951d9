// The tokenizer on any text: never more than 32 tokens, never a quote or, for
// an unquoted token, a blank inside a token, and every token a piece of the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "decodeZORVString.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    decodeZORVString fields(text.c_str());
    if (fields.count() < 0 || fields.count() > decodeZORVString::maxTokens) std::abort();
    for (int i = 0; i < fields.count() + 2; ++i) {
        const char* token = fields[i];
        if (std::strchr(token, '\'') != nullptr) std::abort();
        if (*token != '\0' && text.find(token) == std::string::npos) std::abort();
    }
    return 0;
}
