#include "designer/ReportStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

#include "automation/Error.h"
#include "automation/Text.h"
#include "platform/Process.h"
#include "sample/Database.h"

namespace designer {
namespace {

std::string utf8(std::u16string_view text) {
  return automation::toUtf8(text);
}

std::string reason(int error) {
  return std::generic_category().message(error);
}

// Report names are one report whatever their letter case and surrounding blanks, as the store
// compares them.
std::u16string nameKey(std::u16string_view name) {
  return automation::upper(automation::trimmed(name));
}

constexpr std::string_view kExtension = ".json";
// What a file name may hold at most on the file systems the designer runs on.
constexpr std::size_t kLongestFileName = 255;

void escapeInto(std::string& out, unsigned char c) {
  static constexpr char hex[] = "0123456789ABCDEF";
  out += '%';
  out += hex[c >> 4];
  out += hex[c & 0xF];
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The device names Windows keeps for itself, whatever follows them after a dot.
bool reservedOnWindows(std::string_view base) {
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  std::string name(base);
  for (char& c : name) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" ||
      name == "CONOUT$")
    return true;
  const bool port = name.starts_with("COM") || name.starts_with("LPT");
  if (port && name.size() == 4 && name[3] >= '0' && name[3] <= '9') return true;
  // COM¹, COM², COM³ and the LPT ones: superscript digits in UTF-8.
  return port && name.size() == 5 && name[3] == '\xC2' &&
         (name[4] == '\xB9' || name[4] == '\xB2' || name[4] == '\xB3');
}

// The temporary file of a save: .save.<process id>.<random>.part, beside the report it replaces.
constexpr std::string_view kTemporaryPrefix = ".save.";
constexpr std::string_view kTemporarySuffix = ".part";

// The process that wrote a temporary file, when the name is one of a save's.
std::optional<pid_t> writerOf(std::string_view fileName) {
  if (!fileName.starts_with(kTemporaryPrefix) || !fileName.ends_with(kTemporarySuffix)) return std::nullopt;
  fileName.remove_prefix(kTemporaryPrefix.size());
  const std::size_t dot = fileName.find('.');
  if (dot == 0 || dot == std::string_view::npos || dot > 9) return std::nullopt;
  pid_t pid = 0;
  for (char c : fileName.substr(0, dot)) {
    if (c < '0' || c > '9') return std::nullopt;
    pid = pid * 10 + (c - '0');
  }
  return pid;
}

// A save's temporary file is stale once its writer is gone (or its number is this process's, which
// is writing none while it starts).
bool isStaleTemporary(std::string_view fileName) {
  // What saves wrote before each had a file of its own.
  if (fileName.ends_with(".json.part")) return true;
  const auto pid = writerOf(fileName);
  if (!pid) return false;
  return *pid == ::getpid() || (::kill(*pid, 0) != 0 && errno == ESRCH);
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes it now; false (errno set) when the close reports an error of a write before it.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

std::string mebibytes(std::uintmax_t bytes) {
  return std::to_string(bytes >> 20) + " MiB";
}

// A report file's text. Only a regular file is read, and it is opened without blocking, so that a
// FIFO or a device under a report's name holds nothing up. Raises std::runtime_error with the
// reason (the caller names the file).
std::string readReportFile(const std::filesystem::path& file) {
  const Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) throw std::runtime_error("cannot be read (" + reason(errno) + ")");
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throw std::runtime_error("cannot be read (" + reason(errno) + ")");
  if (S_ISDIR(info.st_mode)) throw std::runtime_error("is a folder, not a report file");
  if (!S_ISREG(info.st_mode)) throw std::runtime_error("is not a regular file");
  const std::string tooLarge =
      "larger than " + mebibytes(kMostReportBytes) + ", the most a report file may be";
  if (static_cast<std::uintmax_t>(info.st_size) > kMostReportBytes) throw std::runtime_error(tooLarge);
  std::string text;
  text.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error("cannot be read (" + reason(errno) + ")");
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    // A file that grows while it is read is held to the limit too.
    if (text.size() > kMostReportBytes) throw std::runtime_error(tooLarge);
  }
  return text;
}

// The stem of a report file's name, when the name is one (<stem>.json).
std::optional<std::string_view> reportStem(std::string_view fileName) {
  if (fileName.size() <= kExtension.size() || !fileName.ends_with(kExtension)) return std::nullopt;
  return fileName.substr(0, fileName.size() - kExtension.size());
}

// A data source's folder, open for a save. Saves into one folder take turns (an advisory lock on
// the folder), so that no other designer replaces a file between one's check and its rename.
class Folder {
 public:
  explicit Folder(std::filesystem::path dir)
      : dir_(std::move(dir)), fd_(::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_.get() < 0) throw std::runtime_error(dir_.string() + ": cannot be opened (" + reason(errno) + ")");
    // Where the file system has no such locks the check before the rename still stands alone.
    while (::flock(fd_.get(), LOCK_EX) != 0 && errno == EINTR) {
    }
  }

  // Writes `text` into a new file of this save's own and syncs it; answers its name. On failure
  // removes it and raises, naming `file` (the report it was to replace).
  std::string writeTemporary(std::string_view text, const std::filesystem::path& file) {
    std::random_device random;
    std::string name;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
      const std::uint64_t tag = (std::uint64_t{random()} << 32) ^ random();
      char hex[17];
      std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(tag));
      name = std::string(kTemporaryPrefix) + std::to_string(::getpid()) + "." + hex +
             std::string(kTemporarySuffix);
      fd = ::openat(fd_.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw std::runtime_error(unwritten(file, "cannot be written", errno));
    Descriptor out(fd);
    bool written = true;
    while (written && !text.empty()) {
      const ssize_t n = ::write(out.get(), text.data(), text.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = EIO;
        written = false;
        break;
      }
      text.remove_prefix(static_cast<std::size_t>(n));
    }
    // The data is on the disk before the name points at it.
    if (written && ::fsync(out.get()) != 0) written = false;
    int error = errno;
    if (!out.close() && written) {
      written = false;
      error = errno;
    }
    if (!written) {
      remove(name);
      throw std::runtime_error(unwritten(file, "cannot be written", error));
    }
    return name;
  }

  // The report files of the folder whose names name the report of that key.
  std::vector<std::string> filesNaming(const std::u16string& key) const {
    std::vector<std::string> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir_, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string fileName = it->path().filename().string();
      if (const auto stem = reportStem(fileName); stem && nameKey(nameOfFile(*stem)) == key)
        found.push_back(fileName);
    }
    return found;
  }

  bool exists(const std::string& name) const {
    struct stat info {};
    return ::fstatat(fd_.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
  }
  bool sameFile(const std::string& a, const std::string& b) const {
    struct stat x {};
    struct stat y {};
    return ::fstatat(fd_.get(), a.c_str(), &x, 0) == 0 && ::fstatat(fd_.get(), b.c_str(), &y, 0) == 0 &&
           x.st_dev == y.st_dev && x.st_ino == y.st_ino;
  }

  void rename(const std::string& from, const std::string& to) {
    if (::renameat(fd_.get(), from.c_str(), fd_.get(), to.c_str()) != 0) {
      const int error = errno;
      remove(from);
      throw std::runtime_error(unwritten(dir_ / to, "cannot be replaced", error));
    }
  }
  void remove(const std::string& name) { ::unlinkat(fd_.get(), name.c_str(), 0); }
  // The renames and removals are durable once the folder is.
  void sync() { ::fsync(fd_.get()); }

 private:
  static std::string unwritten(const std::filesystem::path& file, const std::string& what, int error) {
    return file.string() + ": " + what + " (" + reason(error) + "); the file on disk was left as it was";
  }

  std::filesystem::path dir_;
  Descriptor fd_;
};

}  // namespace

std::string fileNameOf(std::u16string_view name) {
  const std::string text = utf8(automation::trimmed(name));
  constexpr std::string_view kForbidden = "<>:\"/\\|?*%";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F || kForbidden.find(ch) != std::string_view::npos)
      escapeInto(out, c);
    else
      out += ch;
  }
  if (!out.empty() && (out.back() == '.' || out.back() == ' ')) {
    const auto last = static_cast<unsigned char>(out.back());
    out.pop_back();
    escapeInto(out, last);
  }
  if (reservedOnWindows(std::string_view(out).substr(0, out.find('.')))) {
    std::string first;
    escapeInto(first, static_cast<unsigned char>(out.front()));
    out.replace(0, 1, first);
  }
  return out;
}

std::u16string nameOfFile(std::string_view fileName) {
  std::string decoded;
  decoded.reserve(fileName.size());
  for (std::size_t i = 0; i < fileName.size(); ++i) {
    if (fileName[i] == '%' && i + 2 < fileName.size() && hexDigit(fileName[i + 1]) >= 0 &&
        hexDigit(fileName[i + 2]) >= 0) {
      decoded += static_cast<char>(hexDigit(fileName[i + 1]) * 16 + hexDigit(fileName[i + 2]));
      i += 2;
    } else {
      decoded += fileName[i];
    }
  }
  std::u16string name = automation::fromUtf8(decoded);
  if (fileNameOf(name) == fileName) return name;
  return automation::fromUtf8(fileName);
}

SaveConflict::SaveConflict(Kind why, std::filesystem::path where, std::u16string stored)
    : std::runtime_error(where.string() + (why == Kind::NameTaken
                                               ? ": the store holds a report of that name already"
                                               : ": changed by another program since it was read")),
      kind(why),
      file(std::move(where)),
      existing(std::move(stored)) {}

ReportStore::ReportStore(sample::Ledger& ledger, std::filesystem::path folder)
    : ledger_(ledger), folder_(std::move(folder)) {}

std::filesystem::path ReportStore::defaultFolder() {
  return platform::userFolder("XDG_DATA_HOME", ".local/share") / "formulist2" / "reports";
}

ReportStore::Fingerprint ReportStore::fingerprintOf(std::string_view text) {
  return {text.size(), std::hash<std::string_view>{}(text)};
}

std::vector<std::string> ReportStore::loadSaved(const std::filesystem::path& sample) {
  std::vector<std::string> problems = scanSaved(sample);
  for (Unread& unread : std::exchange(unread_, {})) store(readUnread(unread), problems);
  return problems;
}

std::vector<std::string> ReportStore::loadFirst(const std::filesystem::path& sample,
                                                const StoredName& first) {
  std::vector<std::string> problems = scanSaved(sample);
  const std::u16string key = nameKey(automation::trim(first.name));
  const std::string dataSource = utf8(first.dataSource);
  const auto it = std::find_if(unread_.begin(), unread_.end(), [&](const Unread& u) {
    return u.dataSource == dataSource && nameKey(u.files.front().name) == key;
  });
  if (it != unread_.end()) {
    const Unread wanted = std::move(*it);
    unread_.erase(it);
    store(readUnread(wanted), problems);
  }
  return problems;
}

std::vector<BackgroundReads::Job> ReportStore::readLater(std::function<void(const std::string&)> told) {
  std::vector<BackgroundReads::Job> jobs;
  for (Unread& unread : std::exchange(unread_, {})) {
    jobs.push_back([this, told, unread = std::move(unread)]() -> std::function<void()> {
      auto read = std::make_shared<Read>(readUnread(unread));  // on the worker: files and checks only
      return [this, told, read] {
        std::vector<std::string> problems;
        store(std::move(*read), problems);
        if (told) {
          for (const std::string& problem : problems) told(problem);
        }
      };
    });
  }
  return jobs;
}

std::vector<std::string> ReportStore::scanSaved(const std::filesystem::path& sample) {
  std::vector<std::string> problems;
  unread_.clear();
  unreadNames_.clear();
  if (!sample.empty()) {
    try {
      const auto wrapper = nlohmann::json::parse(readReportFile(sample));
      const std::string name = wrapper.at("name").get<std::string>();
      const std::string dataSource = wrapper.at("dataSource").get<std::string>();
      const std::string workbook = wrapper.at("workbook").dump();
      ledger_.storeReport(dataSource, name, workbook);
    } catch (const std::exception& e) {
      problems.push_back(sample.string() + ": " + e.what());
    }
  }
  std::error_code ec;
  if (!std::filesystem::exists(folder_, ec)) return problems;  // nothing saved yet
  std::filesystem::directory_iterator it(folder_, ec);
  if (ec) {
    problems.push_back(folder_.string() + ": cannot be read (" + ec.message() + "); no saved report is read");
    return problems;
  }
  for (const std::filesystem::directory_iterator end; it != end;) {
    const std::filesystem::path source = it->path();
    std::error_code status;
    const bool folder = it->is_directory(status);
    if (status)
      problems.push_back(source.string() + ": cannot be read (" + status.message() +
                         "); its reports are left out");
    else if (!folder)
      problems.push_back(source.string() + ": is not a folder of a data source; left out");
    else
      scanFolder(source, problems);
    it.increment(ec);
    if (ec) {
      problems.push_back(folder_.string() + ": cannot be read to its end (" + ec.message() +
                         "); the data sources after " + source.filename().string() + " are left out");
      break;
    }
  }
  return problems;
}

void ReportStore::scanFolder(const std::filesystem::path& dir, std::vector<std::string>& problems) {
  const std::string dataSource = utf8(nameOfFile(dir.filename().string()));
  std::map<std::u16string, std::vector<Found>> reports;  // by name key
  std::error_code ec;
  std::filesystem::directory_iterator it(dir, ec);
  if (ec) {
    problems.push_back(dir.string() + ": cannot be read (" + ec.message() + "); its reports are left out");
    return;
  }
  for (const std::filesystem::directory_iterator end; it != end;) {
    const std::filesystem::path file = it->path();
    const std::string fileName = file.filename().string();
    if (isStaleTemporary(fileName)) {
      std::error_code ignored;
      std::filesystem::remove(file, ignored);
    } else if (const auto stem = reportStem(fileName)) {
      std::error_code unknown;
      auto changed = std::filesystem::last_write_time(file, unknown);
      if (unknown) changed = std::filesystem::file_time_type::min();
      std::u16string name = nameOfFile(*stem);
      reports[nameKey(name)].push_back({file, std::move(name), changed});
    }
    it.increment(ec);
    if (ec) {
      problems.push_back(dir.string() + ": cannot be read to its end (" + ec.message() +
                         "); the reports after " + fileName + " are left out");
      break;
    }
  }
  for (auto& [key, files] : reports) {
    // Two files that name one report (in another letter case, or one written before names were
    // escaped): the newer one is the report.
    std::sort(files.begin(), files.end(), [](const Found& a, const Found& b) {
      return a.changed != b.changed ? a.changed > b.changed : a.file < b.file;
    });
    unreadNames_.insert(key);
    unread_.push_back({dataSource, std::move(files)});
  }
}

ReportStore::Read ReportStore::readUnread(const Unread& unread) {
  Read read;
  read.key = nameKey(unread.files.front().name);
  read.dataSource = unread.dataSource;
  const Found* chosen = nullptr;
  for (const Found& found : unread.files) {
    std::string text;
    try {
      text = readReportFile(found.file);
    } catch (const std::exception& e) {
      read.problems.push_back(found.file.string() + ": " + e.what() + "; left out");
      continue;
    }
    if (chosen != nullptr) {
      read.seen.emplace_back(found.file, fingerprintOf(text));  // replaced by the report's next save
      continue;
    }
    try {
      Report::fromWorkbook(found.name, text);  // said here, not when a REF_F reads it
      read.seen.emplace_back(found.file, fingerprintOf(text));
      read.name = found.name;
      read.workbook = std::move(text);
      read.chosen = true;
      chosen = &found;
    } catch (const automation::AutomationError& e) {
      read.problems.push_back(found.file.string() + ": " + utf8(e.description()) + "; left out");
    } catch (const std::exception& e) {
      read.problems.push_back(found.file.string() + ": " + e.what() + "; left out");
    }
  }
  const auto& files = unread.files;
  if (files.size() > 1) {
    std::string all;
    for (const Found& found : files) all += (all.empty() ? "" : " and ") + found.file.string();
    const std::string newer = files.size() == 2 ? "the newer, " : "the newest, ";
    const std::string which =
        chosen == nullptr ? "none of them can be read"
        : chosen == &files.front()
            ? newer + chosen->file.filename().string() + ", is the one read"
            : "the newest that can be read, " + chosen->file.filename().string() + ", is the one read";
    read.problems.push_back(all + ": name one report; " + which);
  }
  return read;
}

void ReportStore::store(Read read, std::vector<std::string>& problems) {
  if (const auto it = unreadNames_.find(read.key); it != unreadNames_.end()) unreadNames_.erase(it);
  for (auto& [file, fingerprint] : read.seen) seen_[file] = fingerprint;
  if (read.chosen) {
    try {
      ledger_.storeReport(read.dataSource, utf8(read.name), read.workbook);
    } catch (const std::exception& e) {
      problems.push_back(read.dataSource + "/" + utf8(read.name) + ": " + e.what() + "; left out");
    }
  }
  for (std::string& problem : read.problems) problems.push_back(std::move(problem));
}

void ReportStore::save(const Report& report, const std::optional<StoredName>& own, Replace replace,
                       const std::function<void(std::size_t, std::size_t)>& written) {
  const std::u16string name = automation::trim(report.name);
  if (name.empty()) throw std::runtime_error("a report needs a name");
  const std::string dataSource = utf8(report.context.dataSource);
  if (!ledger_.dataSource(dataSource))
    throw std::runtime_error("there is no data source named " + dataSource);
  const std::filesystem::path dir = folder_ / fileNameOf(report.context.dataSource);
  const std::string fileName = fileNameOf(name) + std::string(kExtension);
  const std::filesystem::path file = dir / fileName;
  if (fileName.size() > kLongestFileName) {
    throw std::runtime_error("the name " + utf8(name) + " is too long for a file name: a file name holds " +
                             std::to_string(kLongestFileName - kExtension.size()) +
                             " bytes of UTF-8 (a Chinese character takes 3)");
  }
  if (replace == Replace::AfterAsking) {
    const bool mine =
        own && own->dataSource == report.context.dataSource && automation::trim(own->name) == name;
    if (!mine) {
      if (const auto held = ledger_.reportNamed(dataSource, utf8(name)))
        throw SaveConflict(SaveConflict::Kind::NameTaken, file, automation::fromUtf8(held->name));
    }
  }
  const std::string workbook = report.toWorkbook(written);
  if (workbook.size() > kMostReportBytes) {
    throw std::runtime_error(file.string() + ": the report takes " + mebibytes(workbook.size()) +
                             " as a file, more than the " + mebibytes(kMostReportBytes) +
                             " a report file may be; split it into reports that refer to one another");
  }
  std::error_code ec;
  const bool created = std::filesystem::create_directories(dir, ec);
  if (ec) throw std::runtime_error(dir.string() + ": " + ec.message());
  if (created) {
    // A new folder lasts once the folders holding it do.
    for (const std::filesystem::path& holder : {folder_, folder_.parent_path()}) {
      const Descriptor fd(::open(holder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (fd.get() >= 0) ::fsync(fd.get());
    }
  }

  Folder folder(dir);
  const std::string temporary = folder.writeTemporary(workbook, file);
  std::vector<std::string> others = folder.filesNaming(nameKey(name));
  std::erase(others, fileName);
  // Checked under the folder's lock, also after the user agreed to replace: what they agreed to is
  // the file as it was when they were asked, not whatever another program wrote since.
  std::vector<std::string> mine = others;
  mine.push_back(fileName);
  for (const std::string& f : mine) {
    if (!folder.exists(f)) continue;
    std::optional<Fingerprint> now;
    try {
      now = fingerprintOf(readReportFile(dir / f));
    } catch (const std::exception&) {
    }
    const auto seen = seen_.find(dir / f);
    const bool known = now && seen != seen_.end() && seen->second == *now;
    const auto agreed = agreed_.find(dir / f);
    const bool allowed = replace == Replace::Now && agreed != agreed_.end() && agreed->second == now;
    if (!known && !allowed) {
      folder.remove(temporary);
      agreed_[dir / f] = now;  // what a Replace::Now after this question may replace
      const auto held = ledger_.reportNamed(dataSource, utf8(name));
      throw SaveConflict(SaveConflict::Kind::ChangedOnDisk, dir / f,
                         held ? automation::fromUtf8(held->name) : name);
    }
  }
  agreed_.clear();
  folder.rename(temporary, fileName);
  // One report is one file: the files of its name in another letter case go (unless the file
  // system takes them for the same file).
  for (const std::string& other : others) {
    if (!folder.sameFile(other, fileName)) folder.remove(other);
    seen_.erase(dir / other);
  }
  folder.sync();
  seen_[file] = fingerprintOf(workbook);
  try {
    ledger_.storeReport(dataSource, utf8(name), workbook);
  } catch (const sample::DatabaseError& e) {
    // The file is written: only the other reports' view of it lags until the next start.
    throw std::runtime_error(file.string() + ": saved, but the report store did not take it (" + e.what() +
                             "); other reports read the saved file from the next start");
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
