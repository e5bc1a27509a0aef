#include "sample/Catalogue.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <system_error>

#include "automation/Text.h"
#include "sample/InputFile.h"

namespace sample {
namespace {

using nlohmann::json;

constexpr std::int32_t kLargestTypeCode = 0xFFFF;  // a type code is 16 bits wide
constexpr std::int32_t kLargestLong = std::numeric_limits<std::int32_t>::max();

std::string position(const std::string& text, std::size_t byte) {
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < byte && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// The library's message without its "[json.exception.…] " prefix.
std::string reason(const json::exception& e) {
  const std::string what = e.what();
  const std::size_t end = what.find("] ");
  return what.starts_with("[json.exception.") && end != std::string::npos ? what.substr(end + 2) : what;
}

std::string quoted(const char* key) {
  return std::string("\"") + key + "\"";
}

std::string utf8Text(const json& object, const char* key, const std::string& where, bool required) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) {
    if (!required && it == object.end()) return {};
    throw CatalogueError(where + ": " + quoted(key) + " must be a text");
  }
  return it->get<std::string>();
}

std::u16string text(const json& object, const char* key, const std::string& where, bool required = true) {
  return automation::fromUtf8(utf8Text(object, key, where, required));
}

bool flag(const json& object, const char* key, bool otherwise, const std::string& where) {
  const auto it = object.find(key);
  if (it == object.end()) return otherwise;
  if (!it->is_boolean()) throw CatalogueError(where + ": " + quoted(key) + " must be true or false");
  return it->get<bool>();
}

// A whole number from 0 to largest; 3.0 counts as 3, 2.5 and 1e300 do not count at all.
std::int32_t wholeNumber(const json& object, const char* key, std::int32_t otherwise, std::int32_t largest,
                         const std::string& where) {
  const auto it = object.find(key);
  if (it == object.end()) return otherwise;
  if (it->is_number_unsigned()) {
    const auto v = it->get<std::uint64_t>();
    if (v <= static_cast<std::uint64_t>(largest)) return static_cast<std::int32_t>(v);
  } else if (it->is_number_float()) {
    const auto v = it->get<double>();
    if (v >= 0 && v <= largest && v == std::floor(v)) return static_cast<std::int32_t>(v);
  }
  throw CatalogueError(where + ": " + quoted(key) + " must be a whole number from 0 to " +
                       std::to_string(largest));
}

// A whole number becomes a Long while it fits in one, else a Double like any other number.
automation::Variant defaultOf(const json& v, const std::string& where) {
  if (v.is_string()) return automation::Variant(automation::fromUtf8(v.get_ref<const std::string&>()));
  if (v.is_boolean()) return automation::Variant(v.get<bool>());
  if (v.is_number_unsigned()) {
    const auto n = v.get<std::uint64_t>();
    if (n <= static_cast<std::uint64_t>(kLargestLong))
      return automation::Variant(static_cast<std::int32_t>(n));
    return automation::Variant(static_cast<double>(n));
  }
  if (v.is_number_integer()) {
    const auto n = v.get<std::int64_t>();
    if (n >= std::numeric_limits<std::int32_t>::min() && n <= kLargestLong)
      return automation::Variant(static_cast<std::int32_t>(n));
    return automation::Variant(static_cast<double>(n));
  }
  if (v.is_number_float()) return automation::Variant(v.get<double>());
  throw CatalogueError(where + ": \"default\" must be a text, a number or true/false");
}

// The array under key; an absent optional one is empty.
const json& array(const json& object, const char* key, const std::string& where, bool required) {
  static const json none = json::array();
  const auto it = object.find(key);
  if (it == object.end() && !required) return none;
  if (it == object.end() || !it->is_array())
    throw CatalogueError(where + ": " + quoted(key) + " must be an array");
  return *it;
}

ParamEntry readParam(const json& p, std::size_t index, const std::string& function) {
  if (!p.is_object()) {
    throw CatalogueError(function + ": parameter " + std::to_string(index + 1) + " must be an object");
  }
  ParamEntry param;
  param.name = text(p, "name", function + ": parameter " + std::to_string(index + 1));
  const std::string where = function + ": parameter " + automation::toUtf8(param.name);
  param.description = text(p, "description", where, false);
  param.type = wholeNumber(p, "type", 8, kLargestTypeCode, where);
  if (const auto it = p.find("default"); it != p.end()) param.def = defaultOf(*it, where);
  param.list = utf8Text(p, "list", where, false);
  param.dsn = flag(p, "dsn", false, where);
  param.customWindow = flag(p, "customWindow", false, where);
  return param;
}

void readFunction(const json& f, std::size_t index, const std::string& file, const std::string& groupWhere,
                  const std::u16string& group, CatalogueData& data) {
  std::string where = groupWhere + ": function " + std::to_string(index + 1);
  try {
    if (!f.is_object()) throw CatalogueError(where + " must be an object");
    FunctionEntry function;
    function.group = group;
    function.name = text(f, "name", where);
    where = file + ": function " + automation::toUtf8(function.name);
    function.description = text(f, "description", where, false);
    function.fixed = !flag(f, "variable", false, where);
    const std::int32_t maxParams = wholeNumber(f, "maxParams", 255, kLargestLong, where);
    const json& params = array(f, "params", where, false);
    if (params.size() > kMostParams) {
      throw CatalogueError(where + ": more than " + std::to_string(kMostParams) +
                           " parameters, the most the editor shows");
    }
    for (std::size_t i = 0; i < params.size(); ++i) function.params.push_back(readParam(params[i], i, where));
    // A fixed function accepts its own parameters unless the file says otherwise.
    function.maxParams = function.fixed && !f.contains("maxParams")
                             ? static_cast<std::int32_t>(function.params.size())
                             : maxParams;
    if (!data.add(std::move(function))) throw CatalogueError(where + ": defined twice");
  } catch (const json::exception& e) {
    throw CatalogueError(where + ": " + reason(e));
  }
}

// The whole file, refused unreadable, not a file, or larger than the limit without reading more
// than one byte past it.
std::string contentOf(const std::filesystem::path& file) {
  std::string content;
  try {
    content = readInputFile(file, kCatalogueFileLimit);
  } catch (const InputFileError& e) {
    if (e.kind() == InputFileError::Kind::Folder)
      throw CatalogueError(file.string() + ": is a folder, not a catalogue file");
    throw CatalogueError(e.what());
  }
  if (content.size() > kCatalogueFileLimit) {
    throw CatalogueError(file.string() + ": larger than " + std::to_string(kCatalogueFileLimit >> 20) +
                         " MiB, not a catalogue");
  }
  return content;
}

void readFile(const std::filesystem::path& file, CatalogueData& data) {
  const std::string content = contentOf(file);
  json root;
  try {
    root = json::parse(content);
  } catch (const json::parse_error& e) {
    throw CatalogueError(file.string() + ": not valid JSON at " +
                         position(content, e.byte > 0 ? e.byte - 1 : 0));
  } catch (const json::out_of_range& e) {  // a number too large for a double
    throw CatalogueError(file.string() + ": a number out of range (" + reason(e) + ")");
  } catch (const json::exception& e) {
    throw CatalogueError(file.string() + ": cannot be read as JSON (" + reason(e) + ")");
  }
  const std::string name = file.filename().string();
  try {
    if (!root.is_object() || !root.contains("groups") || !root["groups"].is_array()) {
      throw CatalogueError(name + ": the top level must be an object with a \"groups\" array");
    }
    const json& groups = root["groups"];
    for (std::size_t g = 0; g < groups.size(); ++g) {
      const json& group = groups[g];
      const std::string numbered = name + ": group " + std::to_string(g + 1);
      if (!group.is_object()) throw CatalogueError(numbered + " must be an object");
      const std::u16string groupName = text(group, "name", numbered);
      if (std::find(data.groups.begin(), data.groups.end(), groupName) == data.groups.end())
        data.groups.push_back(groupName);
      const std::string groupWhere = name + ": group " + automation::toUtf8(groupName);
      const json& functions = array(group, "functions", groupWhere, true);
      for (std::size_t i = 0; i < functions.size(); ++i)
        readFunction(functions[i], i, name, groupWhere, groupName, data);
    }
  } catch (const json::exception& e) {
    throw CatalogueError(name + ": " + reason(e));
  }
}

}  // namespace

// Blanks around a name in the file are no part of it either: the function is found by its name as
// listed, and " QMYE" after "QMYE" is the same function defined twice.
const FunctionEntry* CatalogueData::find(std::u16string_view name) const {
  const auto it = byName_.find(automation::upper(automation::trim(name)));
  return it == byName_.end() ? nullptr : &functions_[it->second];
}

bool CatalogueData::add(FunctionEntry function) {
  if (!byName_.try_emplace(automation::upper(automation::trim(function.name)), functions_.size()).second)
    return false;
  functions_.push_back(std::move(function));
  return true;
}

CatalogueData loadCatalogue(const std::filesystem::path& fileOrFolder) {
  CatalogueData data;
  std::error_code error;
  const auto status = std::filesystem::status(fileOrFolder, error);
  if (status.type() == std::filesystem::file_type::not_found) {
    throw CatalogueError(fileOrFolder.string() + ": does not exist");
  }
  if (error) throw CatalogueError(fileOrFolder.string() + ": cannot be read (" + error.message() + ")");
  if (std::filesystem::is_directory(status)) {
    std::vector<std::filesystem::path> files;
    std::filesystem::directory_iterator entry(fileOrFolder, error), end;
    for (; !error && entry != end; entry.increment(error)) {
      std::error_code unknown;  // a dangling link is kept, and reading it says what is wrong
      if (entry->path().extension() == ".json" && !entry->is_directory(unknown))
        files.push_back(entry->path());
    }
    if (error) throw CatalogueError(fileOrFolder.string() + ": cannot be listed (" + error.message() + ")");
    std::sort(files.begin(), files.end());
    if (files.empty()) throw CatalogueError(fileOrFolder.string() + ": no catalogue files (*.json)");
    for (const auto& file : files) readFile(file, data);
  } else {
    readFile(fileOrFolder, data);
  }
  return data;
}

}  // namespace sample
