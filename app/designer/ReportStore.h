// Where the designer keeps reports: in the sample system's report store, so that REF_F and the
// store by number read them, and as workbook files in the user's data folder, so that they are
// there again the next time (the store itself lives as long as the process).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "designer/BackgroundReads.h"
#include "designer/Report.h"
#include "sample/Ledger.h"

namespace designer {

// The largest report file read or written: a formula cell with its value takes about 96 bytes, so
// this holds some 1.4 million of them (more with constants among them), far more than a report
// is made of; a report that needs more is better split into reports that refer to one another.
constexpr std::uintmax_t kMostReportBytes = std::uintmax_t{128} << 20;

// A report or data-source name (without its surrounding blanks) as a file name, one-to-one with
// the name and valid on Linux and on Windows: the characters <>:"/\|?*, the control characters and
// the escape character % itself become %XX (the hex of their byte), and so do a trailing dot or
// space and the first letter of a device name Windows reserves (CON, PRN, AUX, NUL, COM0-9,
// LPT0-9, CONIN$, CONOUT$, in any case, before the first dot). Everything else, Chinese included,
// stays as it is: "资产负债表" is 资产负债表, "a/b" is a%2Fb, "CON" is %43ON.
std::string fileNameOf(std::u16string_view name);
// The name a file name stands for. A file name is read as escaped when it is exactly what
// fileNameOf writes for the name it decodes to; any other file name (one written before names were
// escaped: "50%off", "a_b") is the name as it stands. So an older file whose name happens to be an
// escaped one ("100%25") is read as escaped ("100%").
std::u16string nameOfFile(std::string_view fileName);

// Which stored report a window holds: its data source and its name as it was last opened or saved.
struct StoredName {
  std::u16string dataSource;
  std::u16string name;
};

// A save that would replace what the user has not seen. Nothing was written.
class SaveConflict : public std::runtime_error {
 public:
  enum class Kind {
    NameTaken,      // the store holds another report of that name (in any letter case)
    ChangedOnDisk,  // the report's file is not the one this store read or last wrote
  };
  SaveConflict(Kind kind, std::filesystem::path file, std::u16string existing);

  Kind kind;
  std::filesystem::path file;  // the report's file (for ChangedOnDisk, the one that changed)
  std::u16string existing;     // the stored report's name, as the store holds it
};

class ReportStore {
 public:
  // `folder` holds one folder per data source (named by fileNameOf), each with a <name>.json
  // workbook per report.
  ReportStore(sample::Ledger& ledger, std::filesystem::path folder);

  // $XDG_DATA_HOME/formulist2/reports (~/.local/share/… when unset).
  static std::filesystem::path defaultFolder();

  // Puts the shipped sample report and then every report saved in the folder into the store, and
  // removes the temporary files of saves that were killed. Answers what could not be read or was
  // left out, one sentence each naming the file or folder; the rest is stored all the same.
  std::vector<std::string> loadSaved(const std::filesystem::path& sample);
  // As loadSaved, but of the saved reports only `first` is read now: the window that shows it
  // need not wait for the others, which readLater hands out.
  std::vector<std::string> loadFirst(const std::filesystem::path& sample, const StoredName& first);
  // One job for each saved report found but not read yet: its files are read and checked on the
  // worker, and it is stored on the main thread, where `told` hears each problem found with it.
  std::vector<BackgroundReads::Job> readLater(std::function<void(const std::string&)> told);
  // Whether saved reports were found that neither loadFirst nor readLater has handed out.
  bool hasUnread() const { return !unread_.empty(); }
  // The names (in upper case) of the saved reports found and not stored yet, handed out or not.
  const std::multiset<std::u16string>& unreadNames() const { return unreadNames_; }

  enum class Replace { AfterAsking, Now };
  // Writes the report's file (replaced whole, never half written, synced to the disk, one file a
  // report whatever the letter case of its name) and stores it under its name in its context's
  // data source. Raises SaveConflict first, unless `replace` is Now, when the store holds a report
  // of that name other than `own` (the report as the window last opened or saved it); and, Now or
  // not, when a file of the report is not the one this store read or last wrote (another program
  // changed it), unless it is still as it was when the last SaveConflict named it and `replace` is
  // Now.
  // Raises std::runtime_error saying why when it cannot save; the file on disk is then as it was.
  // `written` hears how far the workbook text is written, as Report::toWorkbook tells it.
  void save(const Report& report, const std::optional<StoredName>& own = std::nullopt,
            Replace replace = Replace::AfterAsking,
            const std::function<void(std::size_t, std::size_t)>& written = {});
  // The report of that name in the data source's store; std::runtime_error when there is none.
  Report open(const std::u16string& dataSource, const std::u16string& name);
  // The names of the data source's reports, by number.
  std::vector<std::u16string> names(const std::u16string& dataSource);

  const std::filesystem::path& folder() const { return folder_; }

 private:
  struct Fingerprint {
    std::uintmax_t size = 0;
    std::size_t hash = 0;
    friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
  };
  static Fingerprint fingerprintOf(std::string_view text);

  // A report's files as the folder was scanned, the newest first; and what reading them gave.
  struct Found {
    std::filesystem::path file;
    std::u16string name;
    std::filesystem::file_time_type changed;
  };
  struct Unread {
    std::string dataSource;
    std::vector<Found> files;
  };
  struct Read {
    std::u16string key;  // the report's name in upper case
    std::string dataSource;
    bool chosen = false;  // one of the files is the report
    std::u16string name;
    std::string workbook;
    std::vector<std::pair<std::filesystem::path, Fingerprint>> seen;
    std::vector<std::string> problems;
  };
  // Stores the shipped sample and lists the saved reports in unread_.
  std::vector<std::string> scanSaved(const std::filesystem::path& sample);
  void scanFolder(const std::filesystem::path& dir, std::vector<std::string>& problems);
  // Reads and checks a report's files; touches nothing of the store, so any thread may.
  static Read readUnread(const Unread& unread);
  void store(Read read, std::vector<std::string>& problems);

  sample::Ledger& ledger_;
  std::filesystem::path folder_;
  // The report files as this store last read or wrote them, by path.
  std::map<std::filesystem::path, Fingerprint> seen_;
  // The files a SaveConflict was raised for, as they were then: a Replace::Now replaces them only
  // while they are still so.
  std::map<std::filesystem::path, std::optional<Fingerprint>> agreed_;
  std::vector<Unread> unread_;
  std::multiset<std::u16string> unreadNames_;  // of every data source
};

}  // namespace designer
