#pragma once

#include <string_view>

namespace kqc::standin {

// True when the document's bytes are well-formed XML characters for its encoding: for a UTF-8
// document (no other encoding declared, no UTF-16 or UTF-32 byte-order mark), valid UTF-8 with
// only the characters XML 1.0 allows (tab, LF, CR and from U+0020 on, without surrogates, U+FFFE
// and U+FFFF). Documents in other encodings are left to the parser.
bool HasValidXmlCharacters(std::string_view document);

// Whether the document is UTF-8 in the sense above: no other encoding declared, no UTF-16 or
// UTF-32 byte-order mark.
bool IsUtf8Document(std::string_view document);

}  // namespace kqc::standin
