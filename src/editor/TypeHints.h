// What a row's explanation label says about the value its parameter expects, and whether what the
// user typed cannot be such a value. A hint and a mark only: the row keeps what was typed and the
// composition is not touched.
#pragma once

#include <cstdint>
#include <string>

namespace editor {

enum class ValueKind { Number, Text, Date, YesNo, Anything, Unlisted };

ValueKind valueKindOf(std::int32_t type);

// True when `text` cannot be a value of the type: letters in a number row, an impossible date, a
// yes/no row holding neither a number nor TRUE / FALSE. An empty row, a cell ("[B7]", REF(…)) and a
// nested call are never marked: what they stand for is known only when the formula is computed.
bool DoesNotFit(const std::u16string& text, std::int32_t type);

// The label's text: the kind of value, localised, and the mark when the text does not fit.
std::u16string TypeHint(const std::u16string& text, std::int32_t type);

}  // namespace editor
