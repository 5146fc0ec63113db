// The profile-file reader on POSIX, where the system has none: the file is
// read whole and parsed with ProfileDocument.
#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <memory>
#include <optional>
#include <string>

#include "platform/posix/posix_backends.h"
#include "platform/profile_parser.h"
#include "platform/text.h"

namespace tessaline::platform::posix {
namespace {

// Text without a byte-order mark is in the locale's encoding. A process that
// never chose a locale runs in "C", whose ASCII is taken as UTF-8, the
// encoding of Linux systems.
std::wstring DecodeLocaleText(std::string_view bytes) {
  const char* codeset = nl_langinfo(CODESET);
  if (codeset == nullptr || std::strcmp(codeset, "UTF-8") == 0 ||
      std::strcmp(codeset, "ANSI_X3.4-1968") == 0) {
    return FromUtf8(std::string(bytes));
  }
  std::wstring out;
  out.reserve(bytes.size());
  std::mbstate_t state{};
  while (!bytes.empty()) {
    wchar_t c = 0;
    const std::size_t used =
        std::mbrtowc(&c, bytes.data(), bytes.size(), &state);
    if (used == static_cast<std::size_t>(-1) ||
        used == static_cast<std::size_t>(-2)) {
      out.push_back(static_cast<wchar_t>(0xFFFD));
      bytes.remove_prefix(1);
      state = std::mbstate_t{};
      continue;
    }
    out.push_back(c);
    bytes.remove_prefix(used == 0 ? 1 : used);
  }
  return out;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The parsed file, or nothing when it cannot be read.
std::optional<ProfileDocument> Load(const std::wstring& file) {
  const std::string path = ToUtf8(file);
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (fd.get() < 0 || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return ProfileDocument(DecodeProfileText(bytes, &DecodeLocaleText));
}

class PosixProfiles final : public Profiles {
 public:
  std::unique_ptr<ProfileView> Read(const std::wstring& file) override {
    auto document = Load(file);
    if (!document) return nullptr;
    return std::make_unique<ProfileDocument>(std::move(*document));
  }
};

}  // namespace

std::shared_ptr<Profiles> MakeProfiles() {
  return std::make_shared<PosixProfiles>();
}

}  // namespace tessaline::platform::posix
