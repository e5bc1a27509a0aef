#include "sample/SampleSystem.h"

#include <unistd.h>
#include <boost/locale/generator.hpp>
#include <boost/locale/message.hpp>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <locale>
#include <tuple>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "platform/Process.h"
#include "sample/ReportData.h"

namespace sample {

namespace {

std::map<std::pair<std::int32_t, std::u16string>, automation::Variant>& sharedProperties() {
  static std::map<std::pair<std::int32_t, std::u16string>, automation::Variant> store;
  return store;
}

// CHS, CHT or EN from a locale name such as zh_TW.UTF-8; "" when it says nothing.
std::u16string languageOfLocale(std::string_view locale) {
  if (locale.empty() || locale == "C" || locale == "POSIX" || locale.starts_with("C.")) return {};
  if (locale.starts_with("zh_TW") || locale.starts_with("zh_HK") || locale.starts_with("zh_MO") ||
      locale.starts_with("zh-Hant")) {
    return u"CHT";
  }
  if (locale.starts_with("zh")) return u"CHS";
  return u"EN";
}

// The message catalogs of one folder, domain and language, made on first use. Generating a locale
// reads and indexes the .mo file, far too slow to repeat for every text of a catalogue answer.
std::locale catalogsOf(const std::filesystem::path& localeDir, const std::string& domain, bool traditional) {
  static std::mutex guard;
  static std::map<std::tuple<std::string, std::string, bool>, std::locale> made;
  const std::lock_guard lock(guard);
  const auto key = std::make_tuple(localeDir.string(), domain, traditional);
  auto it = made.find(key);
  if (it == made.end()) {
    boost::locale::generator generator;
    generator.add_messages_path(localeDir.string());
    generator.add_messages_domain(domain);
    it = made.emplace(key, generator(traditional ? "zh_TW.UTF-8" : "en_US.UTF-8")).first;
  }
  return it->second;
}

}  // namespace

void publishProperty(std::int32_t processId, const std::u16string& name, automation::Variant value) {
  sharedProperties()[{processId, automation::upper(name)}] = std::move(value);
}

automation::Variant publishedProperty(std::int32_t processId, std::u16string_view name) {
  const auto it = sharedProperties().find({processId, automation::upper(name)});
  return it == sharedProperties().end() ? automation::Variant{} : it->second;
}

void clearPublishedProperties() {
  sharedProperties().clear();
}

std::u16string currentLanguage() {
  const automation::Variant published = publishedProperty(platform::currentProcessId(), u"PropsString");
  const std::u16string props =
      automation::trapAndLeave(std::u16string{}, [&] { return automation::toText(published); });
  const std::u16string lang =
      automation::upper(automation::trim(automation::propertyValue(props, u"Language").value_or(u"")));
  if (lang == u"CHS" || lang == u"CHT" || lang == u"EN") return lang;
  for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr) continue;
    const std::string first = std::string(value).substr(0, std::string(value).find(':'));
    if (auto fromLocale = languageOfLocale(first); !fromLocale.empty()) return fromLocale;
  }
  return u"CHS";
}

std::u16string translateText(const std::filesystem::path& localeDir, std::u16string_view domain,
                             std::u16string_view language, std::u16string_view key) {
  const std::u16string lang = automation::upper(language);
  if (lang.empty() || lang == u"CHS") return std::u16string(key);
  const std::locale catalogs = catalogsOf(localeDir, automation::toUtf8(domain), lang == u"CHT");
  return automation::fromUtf8(boost::locale::translate(automation::toUtf8(key)).str(catalogs));
}

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
  if (!ledger_) {
    ledger_ = Ledger::open(options_.data);
  } else if (ledger_->damaged()) {
    ledger_->heal();  // the calls after the one that found the damage run on a sound file
  }
  return *ledger_;
}

StoredReportCache& SampleSystem::storedReports() {
  Ledger& ledger = this->ledger();  // built again first when a query found it damaged
  if (!storedReports_) storedReports_ = std::make_shared<StoredReportCache>(ledger);
  return *storedReports_;
}

std::u16string SampleSystem::translate(std::u16string_view text, std::u16string_view language) const {
  return translateText(options_.locale, u"TAV", language, text);
}

std::filesystem::path SampleSystem::usageFile() {
  return platform::userFolder("XDG_DATA_HOME", ".local/share") / "formulist2" / "recent-functions";
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
