#include "designer/ReportStore.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "automation/Error.h"
#include "automation/Text.h"
#include "platform/Process.h"
#include "sample/Database.h"

namespace designer {
namespace {

std::string utf8(const std::u16string& text) {
  return automation::toUtf8(text);
}

// A report or data source name as a file name: path separators and control characters become "_".
std::string fileName(const std::u16string& name) {
  std::string out = utf8(automation::trim(name));
  for (char& c : out) {
    if (c == '/' || c == '\\' || (static_cast<unsigned char>(c) < 0x20)) c = '_';
  }
  if (out.empty() || out == "." || out == "..") out = "_" + out;
  return out;
}

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error(file.string() + ": cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

ReportStore::ReportStore(sample::Ledger& ledger, std::filesystem::path folder)
    : ledger_(ledger), folder_(std::move(folder)) {}

std::filesystem::path ReportStore::defaultFolder() {
  return platform::userFolder("XDG_DATA_HOME", ".local/share") / "formulist2" / "reports";
}

std::vector<std::string> ReportStore::loadSaved(const std::filesystem::path& sample) {
  std::vector<std::string> problems;
  const auto store = [&](const std::filesystem::path& file, const std::string& dataSource,
                         const std::string& name) {
    try {
      const std::string workbook = readFile(file);
      Report::fromWorkbook(automation::fromUtf8(name), workbook);  // said here, not when a REF_F reads it
      ledger_.storeReport(dataSource, name, workbook);
    } catch (const automation::AutomationError& e) {
      problems.push_back(file.string() + ": " + utf8(e.description()));
    } catch (const std::exception& e) {
      problems.push_back(file.string() + ": " + e.what());
    }
  };
  if (!sample.empty()) {
    try {
      const auto wrapper = nlohmann::json::parse(readFile(sample));
      const std::string name = wrapper.at("name").get<std::string>();
      const std::string dataSource = wrapper.at("dataSource").get<std::string>();
      const std::string workbook = wrapper.at("workbook").dump();
      ledger_.storeReport(dataSource, name, workbook);
    } catch (const std::exception& e) {
      problems.push_back(sample.string() + ": " + e.what());
    }
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(folder_, ec)) return problems;
  for (const auto& source : std::filesystem::directory_iterator(folder_, ec)) {
    if (!source.is_directory()) continue;
    for (const auto& file : std::filesystem::directory_iterator(source.path(), ec)) {
      if (file.path().extension() != ".json") continue;
      store(file.path(), source.path().filename().string(), file.path().stem().string());
    }
  }
  return problems;
}

void ReportStore::save(const Report& report) {
  if (automation::trim(report.name).empty()) throw std::runtime_error("a report needs a name");
  const std::string workbook = report.toWorkbook();
  try {
    ledger_.storeReport(utf8(report.context.dataSource), utf8(report.name), workbook);
  } catch (const sample::DatabaseError& e) {
    throw std::runtime_error(e.what());
  }
  const std::filesystem::path dir = folder_ / fileName(report.context.dataSource);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) throw std::runtime_error(dir.string() + ": " + ec.message());
  const std::filesystem::path file = dir / (fileName(report.name) + ".json");
  const std::filesystem::path part = dir / (fileName(report.name) + ".json.part");
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << workbook;
    out.flush();
    if (!out) {
      std::filesystem::remove(part, ec);
      throw std::runtime_error(file.string() + ": cannot be written");
    }
  }
  std::filesystem::rename(part, file, ec);
  if (ec) {
    std::filesystem::remove(part, ec);
    throw std::runtime_error(file.string() + ": cannot be replaced");
  }
}

Report ReportStore::open(const std::u16string& dataSource, const std::u16string& name) {
  const auto stored = ledger_.reportNamed(utf8(dataSource), utf8(name));
  if (!stored)
    throw std::runtime_error("the data source " + utf8(dataSource) + " has no report " + utf8(name));
  try {
    Report report = Report::fromWorkbook(automation::fromUtf8(stored->name), stored->workbook);
    report.context.dataSource = dataSource;
    return report;
  } catch (const automation::AutomationError& e) {
    throw std::runtime_error(stored->name + ": " + utf8(e.description()));
  }
}

std::vector<std::u16string> ReportStore::names(const std::u16string& dataSource) {
  std::vector<std::u16string> found;
  for (const auto& r : ledger_.reports(utf8(dataSource))) found.push_back(automation::fromUtf8(r.name));
  return found;
}

}  // namespace designer
