#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>

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
using Store = std::map<std::string, Key>;  // keyed by the upper-case path

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
// a value. Lines that cannot be read are skipped.
Store parse(std::istream& in) {
  Store store;
  std::string line;
  while (std::getline(in, line)) {
    const auto parts = split(line);
    if (parts.size() >= 2 && parts[0] == "K") {
      const auto path = unescape(parts[1]);
      if (path) store.try_emplace(upper(*path), Key{*path, {}});
    } else if (parts.size() == 5 && parts[0] == "V") {
      const auto path = unescape(parts[1]);
      const auto name = unescape(parts[2]);
      std::uint32_t type = 0;
      const auto typeText = parts[3];
      const bool typed =
          std::from_chars(typeText.data(), typeText.data() + typeText.size(), type).ec == std::errc{};
      std::vector<std::uint8_t> data;
      bool bytes = parts[4].size() % 2 == 0;
      for (std::size_t i = 0; bytes && i < parts[4].size(); i += 2) {
        const auto byte = hexByte(parts[4].substr(i, 2));
        bytes = byte.has_value();
        if (bytes) data.push_back(*byte);
      }
      if (!path || !name || !typed || !bytes) continue;  // a damaged line is passed over
      Key& key = store.try_emplace(upper(*path), Key{*path, {}}).first->second;
      key.values[upper(*name)] = Value{*name, type, std::move(data)};
    }
  }
  return store;
}

void write(std::ostream& out, const Store& store) {
  static const char* hex = "0123456789abcdef";
  for (const auto& [_, key] : store) {
    out << "K\t" << escape(key.path) << '\n';
    for (const auto& [__, v] : key.values) {
      out << "V\t" << escape(key.path) << '\t' << escape(v.name) << '\t' << v.type << '\t';
      for (std::uint8_t b : v.data) out << hex[b >> 4] << hex[b & 0xF];
      out << '\n';
    }
  }
}

// The store file, locked for the lifetime of the object (shared to read, exclusive to write).
class LockedStore {
 public:
  explicit LockedStore(bool exclusive) : file_(registryFile()) {
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    const std::string lockPath = file_.string() + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0 && ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~LockedStore() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  LockedStore(const LockedStore&) = delete;
  LockedStore& operator=(const LockedStore&) = delete;

  bool locked() const { return fd_ >= 0; }
  Store read() const {
    std::ifstream in(file_);
    return in ? parse(in) : Store{};
  }
  // Writes a new file beside the old one and renames it over it.
  bool replace(const Store& store) const {
    const std::filesystem::path temp = file_.string() + ".tmp." + std::to_string(::getpid());
    {
      std::ofstream out(temp, std::ios::trunc);
      if (!out) return false;
      write(out, store);
      out.flush();
      if (!out) return false;
    }
    const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      ::fsync(fd);
      ::close(fd);
    }
    std::error_code ec;
    std::filesystem::rename(temp, file_, ec);
    if (ec) std::filesystem::remove(temp, ec);
    return !ec;
  }

 private:
  std::filesystem::path file_;
  int fd_ = -1;
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
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
    return std::filesystem::path(xdg) / "formulist2" / "registry";
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : ".") / ".config" / "formulist2" / "registry";
}

std::int32_t RegCreateKeyExA(HKEY parent, std::string_view subKey, HKEY& result) {
  std::string path;
  if (!pathOf(parent, path)) return ERROR_INVALID_HANDLE;
  if (subKey.empty() || subKey.find('\\') != std::string_view::npos) return ERROR_INVALID_PARAMETER;
  path.append("\\").append(subKey);
  {
    LockedStore store(true);
    if (!store.locked()) return ERROR_WRITE_FAULT;
    Store data = store.read();
    if (!data.contains(upper(path))) {
      data.emplace(upper(path), Key{path, {}});
      if (!store.replace(data)) return ERROR_WRITE_FAULT;
    } else {
      path = data.at(upper(path)).path;
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
  const Store data = store.read();
  const auto k = data.find(upper(path));
  if (k == data.end()) return ERROR_FILE_NOT_FOUND;
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
  std::string path;
  if (!pathOf(key, path)) return ERROR_INVALID_HANDLE;
  LockedStore store(true);
  if (!store.locked()) return ERROR_WRITE_FAULT;
  Store all = store.read();
  Key& k = all.try_emplace(upper(path), Key{path, {}}).first->second;
  k.values[upper(name)] = Value{std::string(name), type, {data.begin(), data.end()}};
  return store.replace(all) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

std::vector<std::string> RegValueNames(HKEY key) {
  std::string path;
  std::vector<std::string> names;
  if (!pathOf(key, path)) return names;
  LockedStore store(false);
  if (!store.locked()) return names;
  const Store data = store.read();
  const auto k = data.find(upper(path));
  if (k == data.end()) return names;
  for (const auto& [_, v] : k->second.values) names.push_back(v.name);
  return names;
}

std::int32_t RegCloseKey(HKEY key) {
  if (rootName(key) != nullptr) return ERROR_SUCCESS;
  std::lock_guard lock(handlesMutex);
  return handles().erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace platform
