// The file system of POSIX hosts: names are bytes, handed on unchanged.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/platform.h"

namespace {

// Owner of one descriptor.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

bool read_fully(int fd, uint8_t* into, size_t n) {
  while (n > 0) {
    ssize_t got = ::read(fd, into, n);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    into += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace

bool is_separator(char c) { return c == '/'; }

std::filesystem::path path_from_utf8(const std::string& name) { return std::filesystem::path(name); }
std::string utf8_from_path(const std::filesystem::path& path) { return path.native(); }

std::string program_folder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().native();
}

bool console_closes_at_exit() { return false; }  // a terminal outlives its programs

void wait_for_key() {
  std::printf("Press any key to continue . . . ");
  std::fflush(stdout);
  std::getchar();
}

Utf8Console::Utf8Console() = default;  // the terminal takes the bytes as they are
Utf8Console::~Utf8Console() = default;

int64_t tell64(FILE* f) { return ftello(f); }
int seek64(FILE* f, int64_t at) { return fseeko(f, static_cast<off_t>(at), SEEK_SET); }

FILE* open_named(const std::string& name, const char* mode) { return std::fopen(name.c_str(), mode); }

bool is_same_file(FILE* open_file, const std::string& open_name, const std::string& name) {
  struct stat target {};
  if (::stat(name.c_str(), &target) != 0) return false;  // nothing there yet: it will be created
  struct stat open {};
  int fd = ::fileno(open_file);
  int got = fd >= 0 ? ::fstat(fd, &open) : ::stat(open_name.c_str(), &open);
  if (got != 0) return false;
  return open.st_dev == target.st_dev && open.st_ino == target.st_ino;
}

bool read_regular_file_head(const std::string& name, uint8_t* head, size_t n) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // Opened without blocking and asked again through the descriptor: a FIFO
  // put in the file's place since the stat can neither hold the run up nor
  // be read.
  Descriptor fd(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return read_fully(fd.get(), head, n);
}

namespace {

volatile std::sig_atomic_t interrupt_seen = 0;  // set by the handler alone

extern "C" void note_interrupt(int) { interrupt_seen = 1; }

}  // namespace

bool stdout_is_terminal() { return ::isatty(::fileno(stdout)) == 1; }

FILE* open_scratch(const std::string& name) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  FILE* f = ::fdopen(fd, "wb");
  if (f == nullptr) ::close(fd);
  return f;
}

bool move_file(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

bool remove_named(const std::string& name) { return ::unlink(name.c_str()) == 0; }

void catch_interrupts() {
  struct sigaction action {};
  action.sa_handler = note_interrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);
}

bool interrupted() { return interrupt_seen != 0; }
