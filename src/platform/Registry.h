// The per-user registry: keys (paths of "\"-separated names, compared without regard to case)
// holding typed values, persisted in one file under the XDG config directory. Every write
// replaces the file atomically under an exclusive lock, so concurrent writers in several
// processes never leave a torn file; the last write wins. Results are the platform's codes.
// The store never discards what it cannot read: a file that is there but cannot be read is not
// written over (writes fail, reads find nothing), and lines it cannot make sense of are kept as
// they stand through every write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using HKEY = std::uint32_t;
inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;

inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;

inline constexpr std::int32_t ERROR_SUCCESS = 0;
inline constexpr std::int32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::int32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::int32_t ERROR_WRITE_FAULT = 29;
inline constexpr std::int32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::int32_t ERROR_MORE_DATA = 234;

// Where the store lives: $XDG_CONFIG_HOME/formulist2/registry (~/.config when unset).
std::filesystem::path registryFile();

// Why the last RegCreateKeyExA or RegSetValueExA of this thread could not write, in words naming
// the file, e.g. "<file> cannot be read (Is a directory); nothing was written". Empty after a
// call that succeeded or failed for another reason (a bad handle or name).
std::string registryFailure();
// The first such failure of this process, for a program to say before it ends that settings were
// not kept; empty when every write succeeded.
std::string registryFirstFailure();
// How many lines of the store could not be read; they are kept as they stand. 0 when the store
// cannot be read at all.
std::size_t registryUnreadableLines();

// Opens (creating when needed) the sub-key `subKey` of `parent`; `result` receives its handle.
std::int32_t RegCreateKeyExA(HKEY parent, std::string_view subKey, HKEY& result);
// Reads a value. `size` is the buffer's capacity on entry and the value's size on return;
// ERROR_MORE_DATA when the buffer is too small (nothing is copied then).
std::int32_t RegQueryValueExA(HKEY key, std::string_view name, std::uint32_t& type,
                              std::span<std::uint8_t> buffer, std::uint32_t& size);
std::int32_t RegSetValueExA(HKEY key, std::string_view name, std::uint32_t type,
                            std::span<const std::uint8_t> data);
std::int32_t RegCloseKey(HKEY key);
// The names of the values a key holds, in the store's order (empty for a key that does not exist).
std::vector<std::string> RegValueNames(HKEY key);

}  // namespace platform
