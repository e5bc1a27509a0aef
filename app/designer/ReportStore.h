// Where the designer keeps reports: in the sample system's report store, so that REF_F and the
// store by number read them, and as workbook files in the user's data folder, so that they are
// there again the next time (the store itself lives as long as the process).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "designer/Report.h"
#include "sample/Ledger.h"

namespace designer {

class ReportStore {
 public:
  // `folder` holds one folder per data source, each with a <report name>.json workbook.
  ReportStore(sample::Ledger& ledger, std::filesystem::path folder);

  // $XDG_DATA_HOME/formulist2/reports (~/.local/share/… when unset).
  static std::filesystem::path defaultFolder();

  // Puts the shipped sample report and then every report saved in the folder into the store.
  // Answers what could not be read, one line each; the rest is stored all the same.
  std::vector<std::string> loadSaved(const std::filesystem::path& sample);

  // Stores the report under its name in its context's data source and writes its file (replaced
  // whole, never half written). Raises std::runtime_error saying why when it cannot.
  void save(const Report& report);
  // The report of that name in the data source's store; std::runtime_error when there is none.
  Report open(const std::u16string& dataSource, const std::u16string& name);
  // The names of the data source's reports, by number.
  std::vector<std::u16string> names(const std::u16string& dataSource);

  const std::filesystem::path& folder() const { return folder_; }

 private:
  sample::Ledger& ledger_;
  std::filesystem::path folder_;
};

}  // namespace designer
