#include "sample/SampleSystem.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "automation/Text.h"

namespace sample {

SampleOptions defaultOptions() {
  const std::filesystem::path data = FORMULIST2_DATA_DIR;
  return {data / "catalogue", data, FORMULIST2_LOCALE_DIR};
}

SampleSystem::SampleSystem(SampleOptions options) : options_(std::move(options)) {}

const CatalogueData& SampleSystem::catalogue() {
  if (!catalogue_) catalogue_ = std::make_unique<CatalogueData>(loadCatalogue(options_.catalogue));
  return *catalogue_;
}

Ledger& SampleSystem::ledger() {
  if (!ledger_) ledger_ = Ledger::open(options_.data);
  return *ledger_;
}

std::filesystem::path SampleSystem::usageFile() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0') {
    return std::filesystem::path(xdg) / "formulist2" / "recent-functions";
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : ".") / ".local" / "share" / "formulist2" /
         "recent-functions";
}

std::map<std::u16string, int> SampleSystem::usage() const {
  std::map<std::u16string, int> counts;
  std::ifstream in(usageFile());
  std::string line;
  while (std::getline(in, line)) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    counts[automation::fromUtf8(line.substr(0, tab))] = std::atoi(line.c_str() + tab + 1);
  }
  return counts;
}

void SampleSystem::recordUse(const std::u16string& name) {
  auto counts = usage();
  ++counts[automation::upper(automation::trim(name))];
  const std::filesystem::path file = usageFile();
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  const std::filesystem::path temp = file.string() + ".tmp." + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::trunc);
    for (const auto& [function, count] : counts) out << automation::toUtf8(function) << '\t' << count << '\n';
    if (!out) return;  // the list of favourites is a convenience: a full disk loses it, nothing else
  }
  std::filesystem::rename(temp, file, ec);
}

}  // namespace sample
