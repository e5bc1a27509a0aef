#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "platform/Process.h"

namespace platform {
namespace {

struct Value {
  std::string name;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};
struct Key {
  std::string path;
  std::map<std::string, Value> values;  // keyed by the upper-case name
};
using Keys = std::map<std::string, Key>;  // keyed by the upper-case path
struct Store {
  Keys keys;
  // The lines that could not be read, each with its line break (the file's last line may have
  // none), in the order the file had them.
  std::string unreadable;
  std::size_t unreadableLines = 0;
};

// Why the last write of this thread failed, naming the file; empty after one that succeeded.
thread_local std::string lastFailure;
std::mutex firstFailureMutex;
std::string firstFailure;  // the process's first failed write, under firstFailureMutex

// Keeps why a write failed, for the thread and, when it is the first, for the process.
void failed(std::string why) {
  {
    std::lock_guard lock(firstFailureMutex);
    if (firstFailure.empty()) firstFailure = why;
  }
  lastFailure = std::move(why);
}

std::string reason(int error) {
  return std::strerror(error);
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Names may hold any character: tabs, line breaks and % are escaped in the file.
std::string escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
      static const char* hex = "0123456789ABCDEF";
      out += '%';
      out += hex[(static_cast<unsigned char>(c) >> 4) & 0xF];
      out += hex[static_cast<unsigned char>(c) & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Two hex digits as a byte; nullopt for anything else.
std::optional<std::uint8_t> hexByte(std::string_view two) {
  if (two.size() < 2) return std::nullopt;
  const int hi = hexValue(two[0]);
  const int lo = hexValue(two[1]);
  if (hi < 0 || lo < 0) return std::nullopt;
  return static_cast<std::uint8_t>(hi * 16 + lo);
}

std::optional<std::string> unescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    const auto byte = hexByte(s.substr(i + 1, 2));
    if (!byte) return std::nullopt;
    out += static_cast<char>(*byte);
    i += 2;
  }
  return out;
}

std::vector<std::string_view> split(std::string_view line) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t tab = line.find('\t', start);
    parts.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  return parts;
}

// File format, one record a line: "K<TAB>path" for a key, "V<TAB>path<TAB>name<TAB>type<TAB>hex" for
// a value, paths and names escaped as above. A line that cannot be read as a record (damaged, or
// written by something else) is kept as it stands: a write puts such lines back, byte for byte and
// in their order, after the records.
bool parseRecord(std::string_view line, Keys& keys) {
  const auto parts = split(line);
  // A record is read only as a whole: a line with more fields or trailing characters than its
  // kind has carries something this reader does not know, and is kept as it stands instead.
  if (parts.size() == 2 && parts[0] == "K") {
    const auto path = unescape(parts[1]);
    if (!path) return false;
    keys.try_emplace(upper(*path), Key{*path, {}});
    return true;
  }
  if (parts.size() != 5 || parts[0] != "V") return false;
  const auto path = unescape(parts[1]);
  const auto name = unescape(parts[2]);
  std::uint32_t type = 0;
  const auto typeText = parts[3];
  const auto [typeEnd, typeError] = std::from_chars(typeText.data(), typeText.data() + typeText.size(), type);
  const bool typed = typeError == std::errc{} && typeEnd == typeText.data() + typeText.size();
  std::vector<std::uint8_t> data;
  bool bytes = parts[4].size() % 2 == 0;
  for (std::size_t i = 0; bytes && i < parts[4].size(); i += 2) {
    const auto byte = hexByte(parts[4].substr(i, 2));
    bytes = byte.has_value();
    if (bytes) data.push_back(*byte);
  }
  if (!path || !name || !typed || !bytes) return false;
  Key& key = keys.try_emplace(upper(*path), Key{*path, {}}).first->second;
  key.values[upper(*name)] = Value{*name, type, std::move(data)};
  return true;
}

Store parse(std::string_view text) {
  Store store;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t newline = text.find('\n', start);
    const std::size_t next = newline == std::string_view::npos ? text.size() : newline + 1;
    const std::string_view line = text.substr(start, next - start);
    const std::string_view record = line.ends_with('\n') ? line.substr(0, line.size() - 1) : line;
    if (!parseRecord(record, store.keys)) {
      store.unreadable.append(line);
      ++store.unreadableLines;
    }
    start = next;
  }
  return store;
}

std::string format(const Store& store) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (const auto& [_, key] : store.keys) {
    out.append("K\t").append(escape(key.path)).append("\n");
    for (const auto& [__, v] : key.values) {
      out.append("V\t").append(escape(key.path)).append("\t").append(escape(v.name)).append("\t");
      out.append(std::to_string(v.type)).append("\t");
      for (std::uint8_t b : v.data) {
        out += hex[b >> 4];
        out += hex[b & 0xF];
      }
      out += '\n';
    }
  }
  return out + store.unreadable;
}

// Writes all of `text` to `fd`; false with errno set when it cannot.
bool writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The store file, locked for the lifetime of the object (shared to read, exclusive to write).
// Writers write a temporary file beside the store and rename it over the store, both under the
// exclusive lock.
class LockedStore {
 public:
  explicit LockedStore(bool exclusive) : file_(registryFile()) {
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    const std::string lockPath = file_.string() + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    int error = errno;
    if (fd_ >= 0 && ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
      error = errno;
      ::close(fd_);
      fd_ = -1;
    }
    if (fd_ < 0) failure_ = lockPath + " cannot be locked (" + reason(error) + "); nothing was written";
  }
  ~LockedStore() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  LockedStore(const LockedStore&) = delete;
  LockedStore& operator=(const LockedStore&) = delete;

  bool locked() const { return fd_ >= 0; }
  // Why the last step failed, naming the file.
  const std::string& failure() const { return failure_; }

  // The store as the file holds it; an empty one when there is no file. nullopt when the file is
  // there but cannot be read: it must then not be replaced, or what it holds would be lost.
  std::optional<Store> read() {
    const int fd = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      if (errno == ENOENT) return Store{};
      return unreadable(reason(errno));
    }
    std::string text;
    struct stat info {};
    int error = 0;
    if (::fstat(fd, &info) != 0) {
      error = errno;
    } else if (S_ISDIR(info.st_mode)) {
      error = EISDIR;
    } else if (!S_ISREG(info.st_mode)) {
      ::close(fd);
      return unreadable("not a regular file");
    }
    char buffer[8192];
    while (error == 0) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) error = errno;
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (error != 0) return unreadable(reason(error));
    return parse(text);
  }

  // Replaces the file with `store`: a new file is written beside it and renamed over it. Nothing is
  // left behind when that fails.
  bool replace(const Store& store) {
    removeStaleTemporaries();
    const std::string temp = temporary(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return unwritten(temp, "cannot be created", errno);
    bool written = writeAll(fd, format(store)) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && written) {
      written = false;
      error = errno;
    }
    if (!written) return unwritten(temp, "cannot be written", error);
    if (::rename(temp.c_str(), file_.c_str()) != 0) {
      return unwritten(temp, "cannot be renamed to " + file_.string(), errno);
    }
    // The rename is durable once the folder is.
    const int folder = ::open(file_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      ::fsync(folder);
      ::close(folder);
    }
    return true;
  }

 private:
  std::string temporary(pid_t pid) const { return file_.string() + ".tmp." + std::to_string(pid); }

  std::nullopt_t unreadable(const std::string& why) {
    failure_ = file_.string() + " cannot be read (" + why + "); nothing was written";
    return std::nullopt;
  }

  bool unwritten(const std::string& temp, const std::string& what, int error) {
    failure_ = temp + " " + what + " (" + reason(error) + "); " + file_.string() + " was left as it was";
    ::unlink(temp.c_str());
    return false;
  }

  // A writer that died (killed, or on a full disk) may have left its temporary file. Only a writer
  // holding the exclusive lock writes one, so while we hold it any other one is stale.
  void removeStaleTemporaries() const {
    const std::string prefix = file_.filename().string() + ".tmp.";
    std::error_code ec;
    for (std::filesystem::directory_iterator it(file_.parent_path(), ec), end; !ec && it != end;
         it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (!name.starts_with(prefix) || name.size() == prefix.size()) continue;
      if (!std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; })) {
        continue;
      }
      std::error_code ignored;
      std::filesystem::remove(it->path(), ignored);
    }
  }

  std::filesystem::path file_;
  int fd_ = -1;
  std::string failure_;
};

// Open handles: the full path of each key, the root's name first.
std::mutex handlesMutex;
std::map<HKEY, std::string>& handles() {
  static std::map<HKEY, std::string> open;
  return open;
}
HKEY nextHandle = 0x100;

const char* rootName(HKEY key) {
  switch (key) {
    case HKEY_CLASSES_ROOT:
      return "HKEY_CLASSES_ROOT";
    case HKEY_CURRENT_USER:
      return "HKEY_CURRENT_USER";
    case HKEY_LOCAL_MACHINE:
      return "HKEY_LOCAL_MACHINE";
    case HKEY_USERS:
      return "HKEY_USERS";
    default:
      return nullptr;
  }
}

bool pathOf(HKEY key, std::string& path) {
  if (const char* root = rootName(key)) {
    path = root;
    return true;
  }
  std::lock_guard lock(handlesMutex);
  const auto it = handles().find(key);
  if (it == handles().end()) return false;
  path = it->second;
  return true;
}

}  // namespace

std::filesystem::path registryFile() {
  return userFolder("XDG_CONFIG_HOME", ".config") / "formulist2" / "registry";
}

std::string registryFailure() {
  return lastFailure;
}

std::string registryFirstFailure() {
  std::lock_guard lock(firstFailureMutex);
  return firstFailure;
}

std::int32_t RegCreateKeyExA(HKEY parent, std::string_view subKey, HKEY& result) {
  lastFailure.clear();
  std::string path;
  if (!pathOf(parent, path)) return ERROR_INVALID_HANDLE;
  if (subKey.empty() || subKey.find('\\') != std::string_view::npos) return ERROR_INVALID_PARAMETER;
  path.append("\\").append(subKey);
  {
    LockedStore store(true);
    std::optional<Store> data;
    if (store.locked()) data = store.read();
    if (!data) {
      failed(store.failure());
      return ERROR_WRITE_FAULT;
    }
    if (const auto k = data->keys.find(upper(path)); k != data->keys.end()) {
      path = k->second.path;
    } else {
      data->keys.emplace(upper(path), Key{path, {}});
      if (!store.replace(*data)) {
        failed(store.failure());
        return ERROR_WRITE_FAULT;
      }
    }
  }
  std::lock_guard lock(handlesMutex);
  result = nextHandle++;
  handles()[result] = path;
  return ERROR_SUCCESS;
}

std::int32_t RegQueryValueExA(HKEY key, std::string_view name, std::uint32_t& type,
                              std::span<std::uint8_t> buffer, std::uint32_t& size) {
  std::string path;
  if (!pathOf(key, path)) return ERROR_INVALID_HANDLE;
  LockedStore store(false);
  if (!store.locked()) return ERROR_FILE_NOT_FOUND;
  const std::optional<Store> data = store.read();
  if (!data) return ERROR_FILE_NOT_FOUND;
  const auto k = data->keys.find(upper(path));
  if (k == data->keys.end()) return ERROR_FILE_NOT_FOUND;
  const auto v = k->second.values.find(upper(name));
  if (v == k->second.values.end()) return ERROR_FILE_NOT_FOUND;
  type = v->second.type;
  const auto needed = static_cast<std::uint32_t>(v->second.data.size());
  const std::uint32_t capacity = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(buffer.size()));
  size = needed;
  if (needed > capacity) return ERROR_MORE_DATA;
  std::copy(v->second.data.begin(), v->second.data.end(), buffer.begin());
  return ERROR_SUCCESS;
}

std::int32_t RegSetValueExA(HKEY key, std::string_view name, std::uint32_t type,
                            std::span<const std::uint8_t> data) {
  lastFailure.clear();
  std::string path;
  if (!pathOf(key, path)) return ERROR_INVALID_HANDLE;
  LockedStore store(true);
  std::optional<Store> all;
  if (store.locked()) all = store.read();
  if (!all) {
    failed(store.failure());
    return ERROR_WRITE_FAULT;
  }
  Key& k = all->keys.try_emplace(upper(path), Key{path, {}}).first->second;
  k.values[upper(name)] = Value{std::string(name), type, {data.begin(), data.end()}};
  if (!store.replace(*all)) {
    failed(store.failure());
    return ERROR_WRITE_FAULT;
  }
  return ERROR_SUCCESS;
}

std::vector<std::string> RegValueNames(HKEY key) {
  std::string path;
  std::vector<std::string> names;
  if (!pathOf(key, path)) return names;
  LockedStore store(false);
  if (!store.locked()) return names;
  const std::optional<Store> data = store.read();
  if (!data) return names;
  const auto k = data->keys.find(upper(path));
  if (k == data->keys.end()) return names;
  for (const auto& [_, v] : k->second.values) names.push_back(v.name);
  return names;
}

std::size_t registryUnreadableLines() {
  LockedStore store(false);
  if (!store.locked()) return 0;
  const std::optional<Store> data = store.read();
  return data ? data->unreadableLines : 0;
}

std::int32_t RegCloseKey(HKEY key) {
  if (rootName(key) != nullptr) return ERROR_SUCCESS;
  std::lock_guard lock(handlesMutex);
  return handles().erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace platform
