// The embedded sample report system: the report system's other components, registered under
// their ProgIDs, on the catalogue and ledger of a data folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "automation/ClassRegistry.h"
#include "sample/Catalogue.h"
#include "sample/Ledger.h"

namespace sample {

class StoredReportCache;

struct SampleOptions {
  std::filesystem::path catalogue;  // a catalogue file or folder of *.json files
  std::filesystem::path data;       // the folder holding ledger/*.sql
  std::filesystem::path locale;     // compiled message catalogs: <locale>/<lang>/LC_MESSAGES/TAV.mo
};

// The default folders: those of the source tree this program was built from.
SampleOptions defaultOptions();

// What the components of one sample system share.
class SampleSystem {
 public:
  explicit SampleSystem(SampleOptions options);

  const SampleOptions& options() const { return options_; }
  // The catalogue, read on first use (CatalogueError when malformed).
  const CatalogueData& catalogue();
  // The ledger, built or opened on first use; built again once when a query found it damaged.
  Ledger& ledger();
  // The stored reports of the ledger as the report services hand them out (see ReportData.h).
  StoredReportCache& storedReports();
  // A text of the report system in a language, from this system's catalogs of the TAV domain
  // (see translateText).
  std::u16string translate(std::u16string_view text, std::u16string_view language) const;

  // How often the retrieval service was asked for a report, a count for tests that check that a
  // loaded report is reused; setReportRetrievals starts it again.
  std::int32_t reportRetrievals() const { return retrievals_; }
  void setReportRetrievals(std::int32_t count) { retrievals_ = count; }

  // How often each function was chosen, kept per user in the data home.
  void recordUse(const std::u16string& name);
  std::map<std::u16string, int> usage() const;
  static std::filesystem::path usageFile();

 private:
  SampleOptions options_;
  std::unique_ptr<CatalogueData> catalogue_;
  std::shared_ptr<Ledger> ledger_;
  std::shared_ptr<StoredReportCache> storedReports_;
  std::int32_t retrievals_ = 0;
};

// Registers Fenwick2.FuncInfo, Fenwick2.GlobalObj, Pellam.ShareProps, Q7LangInfo.LangInfo,
// Q7RESLOADER.Loader, Quorin.QuorinLoader, Brisa.BrisaCtrl.1 and the report components
// (Haldor.SrvRptRetrieve, NURZps.ZpsInfo, ZPSPREADLib.ZpSpread120, ZPS20Lib.ZPS20, Ostrel.CsRpt)
// on one sample system.
std::shared_ptr<SampleSystem> registerSampleComponents(automation::ClassRegistry& registry,
                                                       SampleOptions options);

// The shared-properties store of the process, as a host publishes into it. Names are compared
// without regard to case; a property nobody published is Empty.
void publishProperty(std::int32_t processId, const std::u16string& name, automation::Variant value);
automation::Variant publishedProperty(std::int32_t processId, std::u16string_view name);
void clearPublishedProperties();

// The language the report system answers in, decided anew on every call: the Language of the
// property string published for this process, else the locale variables (LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG), else CHS. Always "CHS", "CHT" or "EN".
std::u16string currentLanguage();

// The text for a Simplified Chinese key in a language, from the gettext catalogs
// <localeDir>/<locale>/LC_MESSAGES/<domain>.mo: zh_TW for CHT, en for any other language but CHS.
// The key itself for CHS (or no language) and for a key the catalog lacks. The catalogs of a
// folder, domain and language are read once for the process.
std::u16string translateText(const std::filesystem::path& localeDir, std::u16string_view domain,
                             std::u16string_view language, std::u16string_view key);

}  // namespace sample
