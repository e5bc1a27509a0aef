// Reg: reads and writes single values of the registry, creating the key path on the way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/Variant.h"

namespace environment {

class Reg {
 public:
  // Reads a value of type 1 (text), 3 (bytes: Itemvalue must hold a byte array, whose size is the
  // buffer) or 4 (32-bit number); DataType receives the type the registry reports. True when the
  // value was read; on any error Itemvalue is left as it was.
  bool GetValue(std::int32_t hkey, std::u16string_view SubKey, std::u16string_view ItemName,
                automation::Variant& Itemvalue, std::int32_t& DataType);
  // Writes an integer or byte (as 4 bytes), a text (with a terminating NUL) or a byte array, under
  // the caller's type code; anything else is not written. True when the value was written.
  bool SetValue(std::int32_t hkey, std::u16string_view SubKey, std::u16string_view ItemName,
                const automation::Variant& Itemvalue, std::int32_t DataType);
  // Opens (creating) every key of the path; empty components are skipped. Answers the handle of
  // the last key; raises the platform's code as the error number when a key cannot be opened.
  std::int32_t Create(std::int32_t hkey, std::u16string_view SubKey,
                      const automation::Variant& Persist = automation::Variant::missing());
};

}  // namespace environment
