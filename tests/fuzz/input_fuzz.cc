// The readers of input the library does not control, under libFuzzer: the
// layout file reader, the check of a disc's item list, and the splitting of
// a command line. Any crash, sanitizer report or broken promise (a value
// holding a NUL, an entry kept that leaves the source folder or holds a
// control character) is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "copy_compare/item_list.h"
#include "platform/posix/command_line.h"
#include "platform/posix/posix_backends.h"
#include "platform/profile_parser.h"
#include "platform/text.h"
#include "tessaline/tessaline.h"

namespace {

using namespace tessaline;

void Require(bool promise) {
  if (!promise) std::abort();
}

bool KeptEntryStaysInside(const std::wstring& entry) {
  for (const wchar_t c : entry) {
    if (c < 0x20 && c != L'\t' && c != L'\v') return false;
  }
  const std::filesystem::path joined =
      std::filesystem::path("/s/" + platform::ToUtf8(entry)).lexically_normal();
  return joined.string().rfind("/s/", 0) == 0 && joined.string().size() > 3;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static const platform::Platform fuzz_platform = [] {
    platform::Platform made;
    made.files = platform::posix::MakeFileSystem();
    return made;
  }();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::wstring text = platform::DecodeProfileText(bytes);

  const platform::ProfileDocument layout(text);
  for (const std::wstring& section : layout.SectionNames()) {
    for (const std::wstring& key : layout.KeyNames(section)) {
      Require(layout.Value(section, key).find(L'\0') == std::wstring::npos);
    }
  }

  try {
    const ItemList list = ParseItemList(fuzz_platform, L"/s", text);
    for (const std::wstring& entry : list.rest) {
      Require(KeptEntryStaysInside(entry));
    }
    if (list.first) Require(KeptEntryStaysInside(*list.first));
  } catch (const MediaWriterException&) {
    // A refused list is a good outcome.
  }

  const auto arguments = platform::posix::SplitCommandLine(text);
  for (const std::wstring& argument : arguments)
    Require(argument.size() <= text.size());
  return 0;
}
