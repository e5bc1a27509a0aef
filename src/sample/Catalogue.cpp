#include "sample/Catalogue.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "automation/Text.h"

namespace sample {
namespace {

using nlohmann::json;

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

automation::Variant valueOf(const json& v) {
  if (v.is_string()) return automation::Variant(automation::fromUtf8(v.get<std::string>()));
  if (v.is_boolean()) return automation::Variant(v.get<bool>());
  if (v.is_number_integer()) return automation::Variant(static_cast<std::int32_t>(v.get<std::int64_t>()));
  if (v.is_number()) return automation::Variant(v.get<double>());
  return {};
}

std::u16string text(const json& object, const char* key, const std::string& where, bool required = true) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) {
    if (!required && it == object.end()) return {};
    throw CatalogueError(where + ": \"" + key + "\" must be a text");
  }
  return automation::fromUtf8(it->get<std::string>());
}

void readFile(const std::filesystem::path& file, CatalogueData& data) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw CatalogueError(file.string() + ": cannot be read");
  std::ostringstream buffer;
  buffer << in.rdbuf();
  const std::string content = buffer.str();
  json root;
  try {
    root = json::parse(content);
  } catch (const json::parse_error& e) {
    throw CatalogueError(file.string() + ": not valid JSON at " +
                         position(content, e.byte > 0 ? e.byte - 1 : 0));
  }
  const std::string name = file.filename().string();
  if (!root.is_object() || !root.contains("groups") || !root["groups"].is_array()) {
    throw CatalogueError(name + ": the top level must be an object with a \"groups\" array");
  }
  for (const json& group : root["groups"]) {
    const std::u16string groupName = text(group, "name", name + ": a group");
    if (std::find(data.groups.begin(), data.groups.end(), groupName) == data.groups.end())
      data.groups.push_back(groupName);
    const std::string groupWhere = name + ": group " + automation::toUtf8(groupName);
    if (!group.contains("functions") || !group["functions"].is_array()) {
      throw CatalogueError(groupWhere + ": \"functions\" must be an array");
    }
    for (const json& f : group["functions"]) {
      FunctionEntry function;
      function.group = groupName;
      function.name = text(f, "name", groupWhere + ": a function");
      const std::string where = groupWhere + ": function " + automation::toUtf8(function.name);
      if (data.find(function.name) != nullptr) throw CatalogueError(where + ": defined twice");
      function.description = text(f, "description", where, false);
      function.fixed = !f.value("variable", false);
      for (const json& p : f.value("params", json::array())) {
        ParamEntry param;
        param.name = text(p, "name", where + ": a parameter");
        param.description = text(p, "description", where, false);
        param.type = p.value("type", 8);
        static constexpr std::int32_t known[] = {3, 5, 6, 7, 8, 11, 12, 14};
        if (std::find(std::begin(known), std::end(known), param.type) == std::end(known)) {
          throw CatalogueError(where + ": parameter " + automation::toUtf8(param.name) +
                               " has the unknown type code " + std::to_string(param.type));
        }
        if (p.contains("default")) param.def = valueOf(p["default"]);
        param.list = p.value("list", std::string());
        param.dsn = p.value("dsn", false);
        param.customWindow = p.value("customWindow", false);
        function.params.push_back(std::move(param));
      }
      function.maxParams =
          function.fixed ? static_cast<std::int32_t>(function.params.size()) : f.value("maxParams", 255);
      data.functions.push_back(std::move(function));
    }
  }
}

}  // namespace

const FunctionEntry* CatalogueData::find(std::u16string_view name) const {
  const std::u16string wanted = automation::upper(automation::trim(name));
  for (const FunctionEntry& f : functions) {
    if (automation::upper(f.name) == wanted) return &f;
  }
  return nullptr;
}

CatalogueData loadCatalogue(const std::filesystem::path& fileOrFolder) {
  CatalogueData data;
  if (std::filesystem::is_directory(fileOrFolder)) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(fileOrFolder)) {
      if (entry.path().extension() == ".json") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) throw CatalogueError(fileOrFolder.string() + ": no catalogue files (*.json)");
    for (const auto& file : files) readFile(file, data);
  } else {
    readFile(fileOrFolder, data);
  }
  return data;
}

}  // namespace sample
