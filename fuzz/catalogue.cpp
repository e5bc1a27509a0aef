// The sample system's catalogue loader over arbitrary file contents.
//
// The input is written as one catalogue file, or, when it holds the separator line "--8<--", as
// two files of one catalogue folder. Reading either gives a catalogue or a CatalogueError naming
// the file; nothing else may come out. A catalogue read must hold what its rules promise: type
// codes from 0 to 65535, maxParams from 0, every function in a group of the catalogue and found
// again, itself and no other, under its own name.
#include <cstdint>
#include <fstream>
#include <string>

#include "FuzzFolder.h"
#include "FuzzInput.h"
#include "sample/Catalogue.h"

namespace {

using fuzzing::fail;

constexpr const char* kTarget = "catalogue";

void write(const std::filesystem::path& file, std::string_view content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) fail(kTarget, "cannot write " + file.string());
}

void check(const sample::CatalogueData& data) {
  for (const sample::FunctionEntry& f : data.functions()) {
    const std::string name = automation::toUtf8(f.name);
    if (std::find(data.groups.begin(), data.groups.end(), f.group) == data.groups.end())
      fail(kTarget, "function " + name + " is in a group the catalogue does not list");
    if (f.maxParams < 0) fail(kTarget, "function " + name + " accepts fewer than no parameters");
    for (const sample::ParamEntry& p : f.params) {
      if (p.type < 0 || p.type > 0xFFFF)
        fail(kTarget, "function " + name + " has type code " + std::to_string(p.type));
    }
    const sample::FunctionEntry* found = data.find(f.name);
    if (found == nullptr) fail(kTarget, "function \"" + name + "\" is not found under its own name");
    if (found != &f) fail(kTarget, "another function answers to the name \"" + name + "\"");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::privateFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  const std::filesystem::path folder = fuzzing::privateFolder() / "catalogue";
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::filesystem::create_directories(folder);
  std::filesystem::path place = folder / "one.json";
  const std::size_t cut = content.find("\n--8<--\n");
  if (cut == std::string_view::npos) {
    write(place, content);
  } else {
    write(folder / "a.json", content.substr(0, cut));
    write(folder / "b.json", content.substr(cut + 8));
    place = folder;
  }
  try {
    check(sample::loadCatalogue(place));
  } catch (const sample::CatalogueError& e) {
    const std::string what = e.what();
    if (what.find(".json") == std::string::npos && what.find(folder.string()) == std::string::npos)
      fail(kTarget, "the error does not name the file: " + what);
  }
  return 0;
}
