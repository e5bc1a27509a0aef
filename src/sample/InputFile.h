// A file read whole for what it holds (a catalogue, a batch, row texts), opened without blocking so
// that a FIFO or socket in its place is refused instead of waiting for a writer forever.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace sample {

class InputFileError : public std::runtime_error {
 public:
  enum class Kind { Unreadable, Folder, NotAFile };
  InputFileError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// The content of `file`, but never more than `limit` + 1 bytes of it: a longer answer means the file
// is larger than the limit, which a device without an end (/dev/zero) reaches at once. A folder,
// a FIFO or a socket is refused (InputFileError, its text naming the file), and so is a file that
// cannot be opened or read, and a device that would wait for input. Regular files and devices
// that are always ready are read.
inline std::string readInputFile(const std::filesystem::path& file, std::size_t limit) {
  const std::string name = file.string();
  const auto failed = [&](const char* what) {
    return InputFileError(InputFileError::Kind::Unreadable,
                          name + ": cannot be " + what + " (" + std::strerror(errno) + ")");
  };
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) throw failed("read");
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw failed("read");
  if (S_ISDIR(st.st_mode)) throw InputFileError(InputFileError::Kind::Folder, name + ": is a folder");
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
    throw InputFileError(InputFileError::Kind::NotAFile, name + ": is not a regular file (" +
                                                             (S_ISFIFO(st.st_mode) ? "a FIFO" : "a socket") +
                                                             "), so it is not read");
  }
  // A regular file is read as files are, waiting for the disk. A device stays without blocking:
  // one that is always ready (/dev/zero) is read up to the limit, one that would wait for input
  // (a terminal, a serial line) is refused.
  if (S_ISREG(st.st_mode) && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
    throw failed("read");
  // Read straight into the text, its room taken once: a regular file's size and one byte, for a
  // device the limit and one byte (memory is only used as it is read into).
  const std::size_t room =
      S_ISREG(st.st_mode) ? std::min(static_cast<std::size_t>(st.st_size), limit) + 1 : limit + 1;
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  std::string content;
  content.reserve(room);
  std::size_t size = 0;
  while (size <= limit) {
    std::size_t wanted = std::min(kChunk, limit + 1 - size);
    if (size < content.capacity()) wanted = std::min(wanted, content.capacity() - size);  // no copy
    content.resize(size + wanted);
    const ssize_t got = ::read(fd, content.data() + size, wanted);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      throw InputFileError(InputFileError::Kind::NotAFile,
                           name + ": is a device that waits for input, not a file, so it is not read");
    }
    if (got < 0) throw failed("read");
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
  }
  content.resize(size);
  return content;
}

}  // namespace sample
