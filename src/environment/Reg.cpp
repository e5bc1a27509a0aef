#include "environment/Reg.h"

#include <string>
#include <vector>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "platform/Registry.h"

namespace environment {
namespace {

using automation::Variant;
using automation::VarType;

// Cuts the first component (up to `separator`) off `path` into `part`; `position` is where the
// separator stood (1-based, 0 when there was none).
void SplitKeyPath(std::u16string& path, std::u16string& part, std::int32_t& position,
                  char16_t separator = u'\\') {
  const std::size_t at = path.find(separator);
  if (at == std::u16string::npos) {
    part = path;
    path.clear();
    position = 0;
  } else {
    part = path.substr(0, at);
    path = path.substr(at + 1);
    position = static_cast<std::int32_t>(at + 1);
  }
}

// The characters before the first NUL; a text without one is an error.
std::u16string TrimAtNul(const std::u16string& text) {
  const std::size_t at = text.find(u'\0');
  if (at == std::u16string::npos) automation::raise(automation::errors::InvalidProcedureCall);
  return text.substr(0, at);
}

// Closes a key handle when it goes out of scope.
class KeyGuard {
 public:
  explicit KeyGuard(platform::HKEY key) : key_(key) {}
  ~KeyGuard() { platform::RegCloseKey(key_); }
  KeyGuard(const KeyGuard&) = delete;
  KeyGuard& operator=(const KeyGuard&) = delete;
  platform::HKEY get() const { return key_; }

 private:
  platform::HKEY key_;
};

// Texts cross the registry boundary in the system's code page, which is UTF-8 here.
std::vector<std::uint8_t> bytesOf(const std::u16string& text) {
  const std::string s = automation::toUtf8(text);
  return {s.begin(), s.end()};
}

}  // namespace

std::int32_t Reg::Create(std::int32_t hkey, std::u16string_view SubKey, const Variant& Persist) {
  // Keys are kept in the store either way; Persist is accepted for callers that pass it.
  (void)(Persist.isMissing() || automation::toBoolean(Persist));
  auto h = static_cast<platform::HKEY>(hkey);
  std::u16string path(SubKey);
  while (!path.empty()) {
    std::u16string part;
    std::int32_t position = 0;
    SplitKeyPath(path, part, position);
    if (part.empty()) continue;
    platform::HKEY next = 0;
    const std::int32_t rc = platform::RegCreateKeyExA(h, automation::toUtf8(part), next);
    const std::string failure = rc != platform::ERROR_SUCCESS ? platform::registryFailure() : std::string();
    if (h != static_cast<platform::HKEY>(hkey)) platform::RegCloseKey(h);  // only the last key stays open
    // The store's own words name the file and what became of the write.
    if (rc != platform::ERROR_SUCCESS) {
      automation::raise(
          rc, failure.empty() ? u"The registry key cannot be opened" : automation::fromUtf8(failure));
    }
    h = next;
  }
  return static_cast<std::int32_t>(h);
}

bool Reg::GetValue(std::int32_t hkey, std::u16string_view SubKey, std::u16string_view ItemName,
                   Variant& Itemvalue, std::int32_t& DataType) {
  return automation::trapAndLeave(false, [&] {
    const KeyGuard guard(static_cast<platform::HKEY>(Create(hkey, SubKey)));
    const platform::HKEY key = guard.get();
    const std::string name = automation::toUtf8(ItemName);
    std::uint32_t type = 0;
    std::int32_t rc = 0;
    switch (DataType) {
      case 1: {
        std::vector<std::uint8_t> buffer(255, ' ');
        std::uint32_t size = 255;
        rc = platform::RegQueryValueExA(key, name, type, buffer, size);
        const std::u16string text = automation::fromUtf8(std::string(buffer.begin(), buffer.end()));
        Itemvalue = Variant(TrimAtNul(text));
        break;
      }
      case 3: {
        const automation::VariantArray& array = Itemvalue.array();
        std::vector<std::uint8_t> buffer(array.size());
        auto size = static_cast<std::uint32_t>(buffer.size());
        rc = platform::RegQueryValueExA(key, name, type, buffer, size);
        automation::VariantArray result(
            {automation::Bounds{array.lbound(),
                                array.lbound() + static_cast<std::int32_t>(buffer.size()) - 1}},
            VarType::Byte);
        for (std::size_t i = 0; i < buffer.size(); ++i) {
          const std::int32_t at[] = {array.lbound() + static_cast<std::int32_t>(i)};
          result.set(at, buffer[i]);
        }
        Itemvalue = Variant(std::move(result));
        break;
      }
      case 4: {
        std::uint8_t buffer[4] = {};
        std::uint32_t size = 4;
        rc = platform::RegQueryValueExA(key, name, type, buffer, size);
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) number = (number << 8) | buffer[i];
        Itemvalue = Variant(static_cast<std::int32_t>(number));
        break;
      }
      default:
        return false;
    }
    DataType = static_cast<std::int32_t>(type);
    return rc == platform::ERROR_SUCCESS;
  });
}

bool Reg::SetValue(std::int32_t hkey, std::u16string_view SubKey, std::u16string_view ItemName,
                   const Variant& Itemvalue, std::int32_t DataType) {
  return automation::trapAndLeave(false, [&] {
    const KeyGuard guard(static_cast<platform::HKEY>(Create(hkey, SubKey)));
    std::vector<std::uint8_t> bytes;
    switch (automation::code(Itemvalue.type())) {
      case automation::code(VarType::Integer):
      case automation::code(VarType::Long):
      case automation::code(VarType::Byte): {
        const auto number = static_cast<std::uint32_t>(automation::toLong(Itemvalue));
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
        break;
      }
      case automation::code(VarType::String):
        bytes = bytesOf(Itemvalue.asString());
        bytes.push_back(0);
        break;
      case automation::code(VarType::Byte | VarType::Array):
        for (const Variant& b : Itemvalue.array().elements()) bytes.push_back(b.asByte());
        break;
      default:
        return false;
    }
    const std::int32_t rc = platform::RegSetValueExA(guard.get(), automation::toUtf8(ItemName),
                                                     static_cast<std::uint32_t>(DataType), bytes);
    return rc == platform::ERROR_SUCCESS;
  });
}

}  // namespace environment
