// A writer of the settings store in a process of its own, for the store's fault tests:
//
//   store_writer KEY NAME COUNT SIZE TAG [CYCLE]
//
// Opens HKEY_CURRENT_USER\KEY and makes COUNT writes, one after the other: write i stores under
// NAME<i % CYCLE> (CYCLE is COUNT when left out) the SIZE bytes of valueOf(tagOf(TAG, i)). It waits
// for standard input to close before the first write, so that several writers can be started at
// once. After each write that succeeded it prints "i" on a line of its own, unbuffered, so that a
// writer killed at any moment has told which writes completed; at the end it prints
// "done FIRST LAST", the monotonic times in nanoseconds at which its first and last writes
// completed. Exits 1 (saying why on standard error) when a write fails, 2 for bad arguments.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/Registry.h"
#include "platform/StoreValues.h"

namespace {

long long now() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

void say(const std::string& line) {
  const std::string text = line + "\n";
  for (std::size_t at = 0; at < text.size();) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data() + at, text.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) std::exit(1);
    at += static_cast<std::size_t>(n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6 && argc != 7) {
    std::fprintf(stderr, "usage: store_writer KEY NAME COUNT SIZE TAG [CYCLE]\n");
    return 2;
  }
  const std::string name = argv[2];
  const long long count = std::atoll(argv[3]);
  const auto size = static_cast<std::size_t>(std::atoll(argv[4]));
  const std::string tag = argv[5];
  const long long cycle = argc == 7 ? std::atoll(argv[6]) : count;
  if (count < 0 || cycle <= 0) return 2;

  char ignored[256];
  while (::read(STDIN_FILENO, ignored, sizeof ignored) > 0) {
  }

  platform::HKEY key = 0;
  if (platform::RegCreateKeyExA(platform::HKEY_CURRENT_USER, argv[1], key) != platform::ERROR_SUCCESS) {
    std::fprintf(stderr, "store_writer: key %s: %s\n", argv[1], platform::registryFailure().c_str());
    return 1;
  }
  long long first = 0, last = 0;
  for (long long i = 0; i < count; ++i) {
    const auto bytes = store_faults::valueOf(store_faults::tagOf(tag, i), size);
    const std::string valueName = name + std::to_string(i % cycle);
    if (platform::RegSetValueExA(key, valueName, platform::REG_BINARY, bytes) != platform::ERROR_SUCCESS) {
      std::fprintf(stderr, "store_writer: write %lld: %s\n", i, platform::registryFailure().c_str());
      return 1;
    }
    last = now();
    if (i == 0) first = last;
    say(std::to_string(i));
  }
  say("done " + std::to_string(first) + " " + std::to_string(last));
  return 0;
}
