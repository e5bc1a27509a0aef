// The function catalogue as the data folder describes it: groups of functions, each with its
// description and parameters, read from data/catalogue/*.json.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "automation/Variant.h"

namespace sample {

class CatalogueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ParamEntry {
  std::u16string name;
  std::u16string description;
  std::int32_t type = 8;    // the automation type code of the value, 0 to 0xFFFF
  automation::Variant def;  // default value
  std::string list;  // the value list on F7: accounts, currencies, periods, datasources, amountKinds, sysinfo
  bool dsn = false;  // names the data source
  bool customWindow = false;  // has the catalogue's own entry window
};

struct FunctionEntry {
  std::u16string name;
  std::u16string description;
  std::u16string group;
  bool fixed = true;           // a fixed number of parameters
  std::int32_t maxParams = 0;  // most parameters: for a fixed function its own unless the file says
  std::vector<ParamEntry> params;
};

class CatalogueData {
 public:
  std::vector<std::u16string> groups;

  // The functions in the files' order.
  const std::vector<FunctionEntry>& functions() const { return functions_; }
  // The function of that name (any letter case), nullptr when there is none.
  const FunctionEntry* find(std::u16string_view name) const;
  // Appends a function; false, with nothing added, when one of that name is there already.
  bool add(FunctionEntry function);

 private:
  std::vector<FunctionEntry> functions_;
  std::unordered_map<std::u16string, std::size_t> byName_;  // a name as find looks it up → its entry
};

// The most parameters a function may list: the editor has a row for each, and holds 32768 rows.
inline constexpr std::size_t kMostParams = 32768;

// The largest catalogue file that is read; a larger one is refused before it is parsed.
inline constexpr std::uintmax_t kCatalogueFileLimit = 16u << 20;

// Reads one JSON file, or every *.json file of a folder in name order. Whatever goes wrong raises
// CatalogueError naming the file: the line and column where JSON reading stopped, else the function,
// the parameter and the field that is not as it must be.
CatalogueData loadCatalogue(const std::filesystem::path& fileOrFolder);

}  // namespace sample
