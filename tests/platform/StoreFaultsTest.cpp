// The settings store under faults, its writers in processes of their own (store_writer): two
// writing at once, writers killed at random moments, a disk that fills up and a folder that cannot
// be written. FORMULIST2_STORE_FAULT_SCALE (1 when unset; scripts/store-faults sets 10) multiplies
// the rounds, the kills and the file-size limits tried.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Registry.h"
#include "platform/StoreValues.h"
#include "support/TempConfig.h"

extern char** environ;

namespace {

using Bytes = std::vector<std::uint8_t>;
using store_faults::tagOf;
using store_faults::valueOf;

// The monotonic clock in nanoseconds, as store_writer tells its times.
long long now() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

int scale() {
  const char* text = std::getenv("FORMULIST2_STORE_FAULT_SCALE");
  const int n = text != nullptr ? std::atoi(text) : 1;
  return n > 0 ? n : 1;
}

std::string contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string readAll(int fd) {
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

std::string hex(const Bytes& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : bytes) out.append({digits[b >> 4], digits[b & 0xF]});
  return out;
}

// The temporary files writers left in the store's folder.
std::size_t temporaryFiles() {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(platform::registryFile().parent_path()))
    if (entry.path().filename().string().starts_with("registry.tmp.")) ++count;
  return count;
}

// Every value of HKEY_CURRENT_USER\<key>, read in full; nullopt when the key is not in the store.
std::optional<std::map<std::string, Bytes>> valuesOf(const std::string& key) {
  platform::HKEY handle = 0;
  if (platform::RegCreateKeyExA(platform::HKEY_CURRENT_USER, key, handle) != platform::ERROR_SUCCESS)
    return std::nullopt;
  // Every value these tests write fits in 4 KiB; a larger one would read as missing.
  std::map<std::string, Bytes> values;
  for (const std::string& name : platform::RegValueNames(handle)) {
    Bytes bytes(4096);
    std::uint32_t type = 0, size = static_cast<std::uint32_t>(bytes.size());
    if (platform::RegQueryValueExA(handle, name, type, bytes, size) == platform::ERROR_SUCCESS) {
      bytes.resize(size);
      values[name] = std::move(bytes);
    }
  }
  platform::RegCloseKey(handle);
  return values;
}

// A store_writer process; its standard input and output are the given descriptors.
struct Writer {
  pid_t pid = -1;

  Writer(const std::vector<std::string>& args, int in, int out) {
    std::vector<char*> argv;
    std::string program = STORE_WRITER;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  // The wait status.
  int wait() const {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  }
};

// Standard input that is closed at once: the writer starts without waiting.
int nothing() {
  return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

struct Pipe {
  int read = -1, write = -1;
  Pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) == 0) {
      read = fds[0];
      write = fds[1];
    }
  }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  void closeRead() {
    if (read >= 0) ::close(read);
    read = -1;
  }
  void closeWrite() {
    if (write >= 0) ::close(write);
    write = -1;
  }
};

// Runs `body` in a child process; what it returns is the child's account of what went wrong ("" for
// nothing), or "skip: …" when the child cannot set up what it needs here.
template <class F>
std::string inChild(F body) {
  Pipe report;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const std::string problems = body();
    const ssize_t n = ::write(report.write, problems.data(), problems.size());
    ::_exit(n == static_cast<ssize_t>(problems.size()) ? 0 : 1);
  }
  report.closeWrite();
  std::string problems = readAll(report.read);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) problems += " (the child process failed)";
  return problems;
}

// Where the stores are made: FORMULIST2_STORE_FAULT_DIR when set, else /dev/shm when it can be
// written, else the usual temporary folder. The faults here are those of processes, which a store
// in memory meets as one on a disk does, and there the many writes (each flushed to the disk) take
// seconds instead of minutes.
struct StoreFolder {
  StoreFolder() {
    const char* chosen = std::getenv("FORMULIST2_STORE_FAULT_DIR");
    if (chosen != nullptr && *chosen != '\0') {
      ::setenv("TMPDIR", chosen, 1);
    } else if (::access("/dev/shm", W_OK | X_OK) == 0) {
      ::setenv("TMPDIR", "/dev/shm", 1);
    }
  }
};

class StoreFaultsTest : public ::testing::Test {
 protected:
  StoreFolder place;
  testing_support::TempConfig config;
};

TEST_F(StoreFaultsTest, TwoWritersAtOnceKeepEveryValueTheyWrote) {
  constexpr int kWrites = 1000;
  constexpr std::uint32_t kSize = 8;
  for (int round = 0; round < scale(); ++round) {
    std::filesystem::remove_all(platform::registryFile().parent_path());
    Pipe start, outA, outB;
    const Writer a(
        {"Shared", "a", std::to_string(kWrites), std::to_string(kSize), "A" + std::to_string(round)},
        start.read, outA.write);
    const Writer b(
        {"Shared", "b", std::to_string(kWrites), std::to_string(kSize), "B" + std::to_string(round)},
        start.read, outB.write);
    ASSERT_GT(a.pid, 0);
    ASSERT_GT(b.pid, 0);
    outA.closeWrite();
    outB.closeWrite();
    start.closeWrite();  // both begin now
    std::string saidA, saidB;
    std::thread readerA([&] { saidA = readAll(outA.read); });
    saidB = readAll(outB.read);
    readerA.join();
    const int statusA = a.wait(), statusB = b.wait();
    ASSERT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0);
    ASSERT_TRUE(WIFEXITED(statusB) && WEXITSTATUS(statusB) == 0);

    // They wrote at the same time: each wrote while the other was writing.
    long long firstA = 0, lastA = 0, firstB = 0, lastB = 0;
    std::string done;
    std::istringstream(saidA.substr(saidA.rfind("done"))) >> done >> firstA >> lastA;
    std::istringstream(saidB.substr(saidB.rfind("done"))) >> done >> firstB >> lastB;
    EXPECT_TRUE(firstA < lastB && firstB < lastA) << "the writers did not overlap";

    // Every value is listed, and its record holds the bytes written. Reading each through the
    // store would parse the whole store 2 000 times; every twentieth is read so, the others are
    // found as the records the store keeps them in ("V<TAB>key<TAB>name<TAB>type<TAB>hex").
    platform::HKEY key = 0;
    ASSERT_EQ(platform::RegCreateKeyExA(platform::HKEY_CURRENT_USER, "Shared", key), platform::ERROR_SUCCESS);
    const std::vector<std::string> names = platform::RegValueNames(key);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 2u * kWrites);
    const std::string file = contents(platform::registryFile());
    int wrong = 0;
    for (const char* writer : {"a", "b"}) {
      const std::string tag = std::string(writer[0] == 'a' ? "A" : "B") + std::to_string(round);
      for (int i = 0; i < kWrites; ++i) {
        const std::string name = writer + std::to_string(i);
        const Bytes want = valueOf(tagOf(tag, i), kSize);
        if (i % 20 == 0) {
          Bytes read(kSize);
          std::uint32_t type = 0, size = kSize;
          if (platform::RegQueryValueExA(key, name, type, read, size) != platform::ERROR_SUCCESS ||
              read != want)
            ++wrong;
        } else if (file.find("\\Shared\t" + name + "\t3\t" + hex(want) + "\n") == std::string::npos) {
          ++wrong;
        }
      }
    }
    platform::RegCloseKey(key);
    EXPECT_EQ(wrong, 0) << "values lost or not as written";
    EXPECT_EQ(platform::registryUnreadableLines(), 0u);
    EXPECT_EQ(temporaryFiles(), 0u);
  }
}

TEST_F(StoreFaultsTest, AWriterKilledAtAnyMomentLeavesAStoreThatHoldsEveryCompletedWrite) {
  // A store of some size, so that a write takes a while and the kills land inside writes too.
  constexpr int kNames = 40;
  constexpr std::size_t kSize = 512;
  {
    Pipe out;
    const int in = nothing();
    const Writer seed({"Faults", "seed", "20", "1024", "seed"}, in, out.write);
    ::close(in);
    out.closeWrite();
    readAll(out.read);
    ASSERT_EQ(seed.wait(), 0);
  }
  const auto seeded = valuesOf("Faults");
  ASSERT_TRUE(seeded && seeded->size() == 20u);

  // The content each name must hold: that of the last write known to have completed, or (for the
  // write a kill interrupted after it completed but before it was told) that of the next one.
  std::map<std::string, std::string> expected;

  // How long a writer takes here to start and to make a write (the build, the sanitizers and the
  // disk all change both), so that the kills fall over its start and its first twenty writes.
  long long startNs = 0, writeNs = 0;
  {
    constexpr int kTimed = 10;
    Pipe out;
    const int in = nothing();
    const long long spawned = now();
    const Writer timed(
        {"Faults", "v", std::to_string(kTimed), std::to_string(kSize), "timed", std::to_string(kNames)}, in,
        out.write);
    ::close(in);
    out.closeWrite();
    const std::string said = readAll(out.read);
    ASSERT_EQ(timed.wait(), 0);
    long long first = 0, last = 0;
    std::string done;
    std::istringstream(said.substr(said.rfind("done"))) >> done >> first >> last;
    startNs = first - spawned;
    writeNs = (last - first) / (kTimed - 1);
    for (int i = 0; i < kTimed; ++i) expected["v" + std::to_string(i)] = tagOf("timed", i);
  }
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::uniform_int_distribution<long long> delay(0, (startNs + 20 * writeNs) / 1000);  // microseconds
  int kills = scale() * 50, completed = 0, leftTemporary = 0, beforeAnyWrite = 0;
  for (int k = 0; k < kills; ++k) {
    const std::string tag = "k" + std::to_string(k);
    Pipe out;
    const int in = nothing();
    const Writer writer({"Faults", "v", "1000000", std::to_string(kSize), tag, std::to_string(kNames)}, in,
                        out.write);
    ::close(in);
    out.closeWrite();
    ASSERT_GT(writer.pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    ::kill(writer.pid, SIGKILL);
    const std::string said = readAll(out.read);
    const int status = writer.wait();
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;

    long long done = 0;
    for (std::istringstream lines(said); lines >> done;) {
    }
    const long long count = said.empty() ? 0 : done + 1;  // writes told as completed
    if (count == 0) ++beforeAnyWrite;
    completed += static_cast<int>(count);
    for (long long i = std::max(0LL, count - kNames); i < count; ++i)
      expected["v" + std::to_string(i % kNames)] = tagOf(tag, i);
    if (std::filesystem::exists(platform::registryFile().string() + ".tmp." + std::to_string(writer.pid)))
      ++leftTemporary;

    // The store reads whole: every line a record, the last one ended.
    const std::string file = contents(platform::registryFile());
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.back(), '\n') << "kill " << k << " left a torn file";
    EXPECT_EQ(platform::registryUnreadableLines(), 0u) << "kill " << k << " left a torn file";
    const auto values = valuesOf("Faults");
    ASSERT_TRUE(values.has_value()) << "kill " << k << ": the key is gone";
    for (const auto& [name, bytes] : *seeded)
      EXPECT_EQ(values->at(name), bytes) << "kill " << k << ": " << name;
    const std::string nextName = "v" + std::to_string(count % kNames);
    for (auto& [name, want] : expected) {
      const auto it = values->find(name);
      ASSERT_NE(it, values->end()) << "kill " << k << ": a completed write of " << name << " was lost";
      if (it->second == valueOf(want, kSize)) continue;
      // Only the write in flight may stand in place of the last one told.
      ASSERT_EQ(name, nextName) << "kill " << k << ": " << name << " does not hold its last completed write";
      ASSERT_EQ(it->second, valueOf(tagOf(tag, count), kSize)) << "kill " << k << ": " << name;
      want = tagOf(tag, count);
    }
    if (!expected.contains(nextName) && values->contains(nextName)) {
      ASSERT_EQ(values->at(nextName), valueOf(tagOf(tag, count), kSize)) << "kill " << k;
      expected[nextName] = tagOf(tag, count);
    }
    if (HasFatalFailure()) return;
  }
  // The next write removes what the killed writers left behind.
  const Bytes one{1};
  ASSERT_EQ(platform::RegSetValueExA(platform::HKEY_CURRENT_USER, "After", platform::REG_BINARY, one),
            platform::ERROR_SUCCESS);
  EXPECT_EQ(temporaryFiles(), 0u);
  std::cout << "[ figures  ] " << kills << " writers killed (random seed " << seed << ") within "
            << (startNs + 20 * writeNs) / 1000000 << " ms of their start (" << startNs / 1000000
            << " ms to the first write, " << writeNs / 1000 << " us a write): " << completed
            << " writes completed before the kills, " << leftTemporary
            << " kills inside a write (a temporary file left), " << beforeAnyWrite
            << " before the first write completed\n";
}

// A write that needs more room than there is: RLIMIT_FSIZE stops the temporary file at sizes spread
// from nothing to the whole new store (40 of them, times the scale). Each write stopped short fails,
// says why naming the store, and leaves the store byte for byte as it was; given the room, the same
// write succeeds.
TEST_F(StoreFaultsTest, AWriteOutOfRoomFailsAndLeavesTheStoreAsItWas) {
  const auto store = platform::registryFile();
  for (int i = 0; i < 20; ++i) {
    const Bytes bytes = valueOf(tagOf("kept", i), 100);
    ASSERT_EQ(platform::RegSetValueExA(platform::HKEY_CURRENT_USER, "kept" + std::to_string(i),
                                       platform::REG_BINARY, bytes),
              platform::ERROR_SUCCESS);
  }
  const std::string before = contents(store);
  const Bytes large = valueOf("large", 3000);
  const auto writeWithin = [&](rlim_t limit) {
    return inChild([&]() -> std::string {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit room{limit, limit};
      if (::setrlimit(RLIMIT_FSIZE, &room) != 0) return "the file size cannot be limited";
      if (platform::RegSetValueExA(platform::HKEY_CURRENT_USER, "Large", platform::REG_BINARY, large) ==
          platform::ERROR_SUCCESS)
        return "written";
      const std::string why = platform::registryFailure();
      return why.find(store.string()) == std::string::npos ? "the failure does not name the store: " + why
                                                           : "";
    });
  };
  // The new store is the old one and the new value's record: its name, type and bytes in hex.
  const std::size_t needed = before.size() + 2 * large.size() + 64;
  const std::size_t steps = 40 * static_cast<std::size_t>(scale());
  std::size_t limit = 0, lastFailed = 0;
  for (std::size_t step = 0; step <= steps; ++step) {
    limit = step * needed / steps;
    const std::string outcome = writeWithin(limit);
    if (outcome == "written") break;
    lastFailed = limit;
    EXPECT_EQ(outcome, "") << "at " << limit << " bytes";
    ASSERT_EQ(contents(store), before) << "a write stopped at " << limit << " bytes changed the store";
    EXPECT_EQ(temporaryFiles(), 0u);
  }
  // The write went through once the whole new store fitted, not before.
  const std::size_t written = contents(store).size();
  EXPECT_GT(written, before.size());
  EXPECT_LE(written, limit);
  EXPECT_GT(written, lastFailed);
  Bytes read(large.size());
  std::uint32_t type = 0, size = static_cast<std::uint32_t>(read.size());
  ASSERT_EQ(platform::RegQueryValueExA(platform::HKEY_CURRENT_USER, "Large", type, read, size),
            platform::ERROR_SUCCESS);
  EXPECT_EQ(read, large);
}

// A real full disk: a small tmpfs mounted over the store's folder in a mount namespace of the
// child's own (unprivileged users get one through a user namespace where the kernel allows it).
TEST_F(StoreFaultsTest, AFullDiskFailsTheWriteAndLeavesTheStoreAsItWas) {
  const auto folder = platform::registryFile().parent_path();
  std::filesystem::create_directories(folder);
  const std::string outcome = inChild([&]() -> std::string {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWNS) != 0) {
      if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return "skip: no mount namespace";
      std::ofstream("/proc/self/setgroups") << "deny";
      std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
      std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("formulist2-full", folder.c_str(), "tmpfs", 0, "size=64k") != 0)
      return "skip: no tmpfs can be mounted";

    std::string problems;
    const auto store = platform::registryFile();
    int written = 0;
    for (; written < 100; ++written) {
      const std::string before = contents(store);
      const Bytes bytes = valueOf(tagOf("fill", written), 2000);
      if (platform::RegSetValueExA(platform::HKEY_CURRENT_USER, "fill" + std::to_string(written),
                                   platform::REG_BINARY, bytes) == platform::ERROR_SUCCESS)
        continue;
      const std::string why = platform::registryFailure();
      if (why.find(store.string()) == std::string::npos ||
          why.find(std::strerror(ENOSPC)) == std::string::npos)
        problems += "the failure does not say the disk is full, naming the store: " + why + "\n";
      if (contents(store) != before) problems += "the failed write changed the store\n";
      if (temporaryFiles() != 0) problems += "the failed write left its temporary file\n";
      break;
    }
    if (written == 100) return "the tmpfs never filled up";
    std::cout << "[ figures  ] a tmpfs of 64 KiB was full after " << written << " values of 2000 bytes\n"
              << std::flush;
    if (written == 0) problems += "not even the first value fitted\n";
    for (int i = 0; i < written; ++i) {
      Bytes bytes(2000);
      std::uint32_t type = 0, size = 2000;
      if (platform::RegQueryValueExA(platform::HKEY_CURRENT_USER, "fill" + std::to_string(i), type, bytes,
                                     size) != platform::ERROR_SUCCESS ||
          bytes != valueOf(tagOf("fill", i), 2000))
        problems += "fill" + std::to_string(i) + " was lost\n";
    }
    if (platform::registryUnreadableLines() != 0) problems += "the store holds torn lines\n";
    return problems;
  });
  if (outcome.starts_with("skip: ")) {
    GTEST_SKIP() << outcome.substr(6) << " here; the file-size limit test stands in for a full disk";
  }
  EXPECT_EQ(outcome, "");
}

// A folder the writer may not write in: the write fails, saying so, and the store stays as it was.
// Root writes anywhere, so the writer then runs as nobody, in a tree handed over to nobody.
TEST_F(StoreFaultsTest, AnUnwritableFolderFailsTheWriteAndLeavesTheStoreAsItWas) {
  const auto store = platform::registryFile();
  const Bytes bytes = valueOf("kept", 64);
  ASSERT_EQ(platform::RegSetValueExA(platform::HKEY_CURRENT_USER, "Kept", platform::REG_BINARY, bytes),
            platform::ERROR_SUCCESS);
  const std::string before = contents(store);
  constexpr uid_t nobody = 65534;
  if (::geteuid() == 0) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(config.dir().parent_path()))
      ASSERT_EQ(::lchown(entry.path().c_str(), nobody, nobody), 0);
    ASSERT_EQ(::chown(config.dir().parent_path().c_str(), nobody, nobody), 0);
  }
  std::filesystem::permissions(store.parent_path(),
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const std::string outcome = inChild([&]() -> std::string {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0))
      return "skip: cannot become nobody";
    if (::access(store.parent_path().c_str(), W_OK) == 0) return "skip: the folder stays writable";
    const Bytes other = valueOf("other", 64);
    if (platform::RegSetValueExA(platform::HKEY_CURRENT_USER, "Other", platform::REG_BINARY, other) !=
        platform::ERROR_WRITE_FAULT)
      return "the write did not fail";
    const std::string why = platform::registryFailure();
    if (why.find(store.string()) == std::string::npos || why.find(std::strerror(EACCES)) == std::string::npos)
      return "the failure does not say why, naming the store: " + why;
    return "";
  });
  std::filesystem::permissions(store.parent_path(), std::filesystem::perms::owner_all);
  if (outcome.starts_with("skip: ")) GTEST_SKIP() << outcome.substr(6);
  EXPECT_EQ(outcome, "");
  EXPECT_EQ(contents(store), before);
  EXPECT_EQ(temporaryFiles(), 0u);
}

}  // namespace
