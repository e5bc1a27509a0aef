// The embedded sample report system: the report system's other components, registered under
// their ProgIDs, on the catalogue and ledger of a data folder.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "automation/ClassRegistry.h"
#include "sample/Catalogue.h"
#include "sample/Ledger.h"

namespace sample {

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
  // The ledger, built or opened on first use.
  Ledger& ledger();

  // How often each function was chosen, kept per user in the data home.
  void recordUse(const std::u16string& name);
  std::map<std::u16string, int> usage() const;
  static std::filesystem::path usageFile();

 private:
  SampleOptions options_;
  std::unique_ptr<CatalogueData> catalogue_;
  std::shared_ptr<Ledger> ledger_;
};

// Registers Fenwick2.FuncInfo, Fenwick2.GlobalObj, Pellam.ShareProps, Q7LangInfo.LangInfo,
// Q7RESLOADER.Loader, Quorin.QuorinLoader and Brisa.BrisaCtrl.1 on one sample system.
std::shared_ptr<SampleSystem> registerSampleComponents(automation::ClassRegistry& registry,
                                                       SampleOptions options);

// The shared-properties store of the process, as a host publishes into it.
void publishProperty(std::int32_t processId, const std::u16string& name, automation::Variant value);
void clearPublishedProperties();

}  // namespace sample
