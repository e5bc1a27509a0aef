// What a row's explanation label says about the value its parameter expects, and whether what the
// user typed cannot be such a value. A hint and a mark only: the row keeps what was typed and the
// composition is not touched.
#pragma once

#include <cstdint>
#include <string>

namespace editor {

enum class ValueKind { Number, Text, Date, YesNo, Anything, Unlisted };

ValueKind valueKindOf(std::int32_t type);

// Whether a row's text stands for a value only the computation knows: a cell of the report ("B7",
// "$B$7", "[B7]", REF(…)), arithmetic over cells ("B7*1.1"), or a nested call.
bool StandsForValue(const std::u16string& text);

// True when `text` cannot be a value of the type: letters in a number row, an impossible date, a
// yes/no row holding neither a number nor TRUE / FALSE. An empty row and a text that stands for a
// value are never marked: what they stand for is known only when the formula is computed.
bool DoesNotFit(const std::u16string& text, std::int32_t type);

// The label's text: the kind of value, localised, and the mark when the text does not fit.
std::u16string TypeHint(const std::u16string& text, std::int32_t type);

}  // namespace editor
