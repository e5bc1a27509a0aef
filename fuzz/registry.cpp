// The settings store's file reader: arbitrary bytes as the registry file, then a read and a write,
// in a private temporary folder.
//
// The input is a key name and a value name (each a length byte and its bytes), a byte choosing the
// value's type and length, then the file. Checked:
//   - the key opens (or is refused as a bad name), and every value it holds reads in full;
//   - the write succeeds, and afterwards the key holds the values it held, the new one in place of
//     any of the same name (letter case aside), each with its type and bytes as before;
//   - the lines the store could not read are still there, as many, byte for byte at the file's end;
//   - writing the same value again leaves the file as it is.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "FuzzFolder.h"
#include "FuzzInput.h"
#include "platform/Registry.h"

namespace {

using fuzzing::fail;
using platform::HKEY;

constexpr const char* kTarget = "registry";

struct Stored {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
  friend bool operator==(const Stored&, const Stored&) = default;
};

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every value of the key, by upper-case name, read in full.
std::map<std::string, Stored> valuesOf(HKEY key) {
  std::map<std::string, Stored> values;
  for (const std::string& name : platform::RegValueNames(key)) {
    Stored v;
    std::uint32_t size = 0;
    std::uint8_t none = 0;
    const std::int32_t probe = platform::RegQueryValueExA(key, name, v.type, std::span(&none, 0), size);
    if (probe != platform::ERROR_MORE_DATA && probe != platform::ERROR_SUCCESS)
      fail(kTarget, "value \"" + name + "\" is listed but reads as error " + std::to_string(probe));
    v.bytes.resize(size);
    std::uint32_t capacity = size;
    if (platform::RegQueryValueExA(key, name, v.type, v.bytes, capacity) != platform::ERROR_SUCCESS ||
        capacity != size) {
      fail(kTarget, "value \"" + name + "\" does not read in full");
    }
    values[upper(name)] = std::move(v);
  }
  return values;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::privateFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput in(data, size);
  const std::string keyName = in.bytes(in.byte() % 24);
  const std::string valueName = in.bytes(in.byte() % 24);
  const std::uint8_t shape = in.byte();
  const std::string file = in.rest();

  const std::filesystem::path store = platform::registryFile();
  std::filesystem::create_directories(store.parent_path());
  {
    std::ofstream out(store, std::ios::binary | std::ios::trunc);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
  }
  const std::size_t unreadable = platform::registryUnreadableLines();

  HKEY key = platform::HKEY_CURRENT_USER;
  const std::int32_t opened = platform::RegCreateKeyExA(platform::HKEY_CURRENT_USER, keyName, key);
  if (opened == platform::ERROR_INVALID_PARAMETER) {
    key = platform::HKEY_CURRENT_USER;
  } else if (opened != platform::ERROR_SUCCESS) {
    fail(kTarget, "key \"" + keyName + "\" cannot be opened: " + platform::registryFailure());
  }
  std::map<std::string, Stored> values = valuesOf(key);

  const Stored written{shape % 5u,
                       std::vector<std::uint8_t>(shape / 5u % 40u, static_cast<std::uint8_t>(shape))};
  if (platform::RegSetValueExA(key, valueName, written.type, written.bytes) != platform::ERROR_SUCCESS)
    fail(kTarget, "the write failed: " + platform::registryFailure());
  values[upper(valueName)] = written;
  if (valuesOf(key) != values) fail(kTarget, "the key does not hold what it held and the value written");

  // A line that is no record at all (neither "K<TAB>" nor "V<TAB>") was unreadable: it must still
  // be there as it stood, in its order, after the records.
  const std::string after = contents(store);
  std::size_t from = 0;
  for (std::size_t start = 0; start < file.size();) {
    const std::size_t end = std::min(file.find('\n', start), file.size() - 1) + 1;
    const std::string_view line = std::string_view(file).substr(start, end - start);
    start = end;
    if (line.starts_with("K\t") || line.starts_with("V\t")) continue;
    const std::size_t at = after.find(line, from);
    if (at == std::string::npos) fail(kTarget, "an unreadable line was lost: \"" + std::string(line) + "\"");
    from = at + line.size();
  }
  if (platform::registryUnreadableLines() != unreadable)
    fail(kTarget, std::to_string(unreadable) + " unreadable lines became " +
                      std::to_string(platform::registryUnreadableLines()));
  platform::RegSetValueExA(key, valueName, written.type, written.bytes);
  if (contents(store) != after) fail(kTarget, "writing the same value again changed the file");
  if (key != platform::HKEY_CURRENT_USER) platform::RegCloseKey(key);
  return 0;
}
