// The editor's row layout, in twips: rows stand one below the other until the ninth, after which
// eight row positions show a window onto the list moved by the scroll bar.
#pragma once

#include <cstdint>

#include "forms/Control.h"

namespace editor::layout {

inline constexpr forms::Twips kRowGap = 150;      // from one name label's bottom to the next one's top
inline constexpr forms::Twips kTextBoxLift = 45;  // a text box stands this much above its name label
inline constexpr std::int16_t kVisibleRows = 8;   // rows shown at once once the list scrolls
// The most rows the editor holds: a row is an element of a control array, whose index has 16 bits.
// A variable list stops growing there whatever its function allows.
inline constexpr std::int32_t kMostRows = 32768;

}  // namespace editor::layout
