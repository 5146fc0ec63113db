// The C functions around the creator class. Every function catches
// everything: an exception that crossed into a C or foreign-language caller
// would end the process.
#include "tessaline/tessaline_c.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tessaline/tessaline.h"

namespace {

using CText = std::basic_string<tessaline_char>;

// The host's texts in the creator's wide form, and back.
#if defined(_WIN32)
std::wstring Wide(const tessaline_char* text) { return text; }
CText Host(const std::wstring& text) { return text; }
#else
std::wstring Wide(const tessaline_char* text) {
  return tessaline::platform::FromUtf8(text);
}
CText Host(const std::wstring& text) {
  return tessaline::platform::ToUtf8(text);
}
#endif

// One failure record with the texts it owns.
struct ErrorRecord {
  tessaline_status status = TESSALINE_OK;
  CText message;
  CText path;
  std::int32_t megabytesNeeded = 0;
  std::int32_t chunk = 0;
  std::int32_t code = 0;
  std::int32_t reason = 0;
};

// Stores a failure's text; a failure to store it leaves it empty, since the
// kind of failure must reach the caller all the same.
void Keep(CText& out, const std::wstring& text) noexcept {
  try {
    out = Host(text);
  } catch (...) {
    out.clear();
  }
}

// Runs `operation` and fills `record` with how it ended.
template <typename Operation>
tessaline_status Guarded(ErrorRecord& record, Operation&& operation) noexcept {
  try {
    record = ErrorRecord();
    operation();
    return TESSALINE_OK;
  } catch (const CreateMediaException& e) {
    record.status = TESSALINE_CREATE_MEDIA;
    Keep(record.message, e.message);
  } catch (const CreateMediaExceptionMoreDiskSpaceNeededPlease& e) {
    record.status = TESSALINE_MORE_DISK_SPACE_NEEDED;
    record.megabytesNeeded = e.megabytesNeeded;
  } catch (const MediaWriterException& e) {
    record.status = TESSALINE_MEDIA_WRITER;
    Keep(record.message, e.message);
  } catch (const MediaVerifyException& e) {
    record.status = TESSALINE_MEDIA_VERIFY;
    Keep(record.message, e.message);
    record.chunk = e.chunk;
    record.code = e.code;
  } catch (const UserNeededException& e) {
    record.status = TESSALINE_USER_NEEDED;
    record.reason = e.reason;
  } catch (const FileException& e) {
    record.status = TESSALINE_FILE;
    Keep(record.path, e.path);
    Keep(record.message, e.message);
  } catch (const std::bad_alloc&) {
    record.status = TESSALINE_OUT_OF_MEMORY;
  } catch (const std::exception& e) {
    record.status = TESSALINE_FAILURE;
    try {
      Keep(record.message, tessaline::platform::FromUtf8(e.what()));
    } catch (...) {
    }
  } catch (...) {
    record.status = TESSALINE_FAILURE;
  }
  return record.status;
}

tessaline_status Invalid(ErrorRecord& record) {
  record = ErrorRecord();
  record.status = TESSALINE_INVALID_ARGUMENT;
  return record.status;
}

// The failures of the functions without a creator.
ErrorRecord& ThreadRecord() {
  thread_local ErrorRecord record;
  return record;
}

// Hands a job's reports to the C callback, with the failure text of code 12
// in the host's text form.
struct Relay {
  tessaline_status_callback callback;
  void* context;

  static void Forward(std::int32_t code, std::intptr_t first,
                      std::intptr_t second, void* self) {
    const auto* relay = static_cast<const Relay*>(self);
#if !defined(_WIN32)
    if (code == 12 && first != 0) {
      const std::string text = Host(reinterpret_cast<const wchar_t*>(first));
      relay->callback(code, reinterpret_cast<std::intptr_t>(text.c_str()),
                      second, relay->context);
      return;
    }
#endif
    relay->callback(code, first, second, relay->context);
  }
};

void CopyText(const std::wstring& text, tessaline_char* out, std::size_t size) {
  CText host = Host(text);
  std::size_t length = std::min(host.size(), size - 1);
#if defined(_WIN32)
  // A surrogate pair is cut whole.
  if (length < host.size() && length > 0 && host[length - 1] >= 0xD800 &&
      host[length - 1] <= 0xDBFF) {
    --length;
  }
#else
  // A UTF-8 sequence is cut whole: back up to the start of the one cut.
  if (length < host.size()) {
    while (length > 0 &&
           (static_cast<unsigned char>(host[length]) & 0xC0) == 0x80) {
      --length;
    }
  }
#endif
  std::copy_n(host.begin(), length, out);
  out[length] = 0;
}

}  // namespace

struct tessaline_creator {
  // Declared before the creator, so that it outlives the creator's job.
  std::unique_ptr<Relay> relay;
  std::unique_ptr<Tessaline> creator;
  ErrorRecord error;
  CText tempDir;
};

extern "C" {

tessaline_status tessaline_last_error(const tessaline_creator* creator,
                                      tessaline_error* error) {
  if (error == nullptr) return TESSALINE_INVALID_ARGUMENT;
  const ErrorRecord& record =
      creator != nullptr ? creator->error : ThreadRecord();
  error->status = record.status;
  error->message = record.message.c_str();
  error->path = record.path.c_str();
  error->megabytes_needed = record.megabytesNeeded;
  error->chunk = record.chunk;
  error->code = record.code;
  error->reason = record.reason;
  return TESSALINE_OK;
}

tessaline_status tessaline_create(const tessaline_char* work_folder,
                                  const tessaline_char* source_folder,
                                  const tessaline_char* media_name,
                                  tessaline_creator** creator) {
  ErrorRecord& record = ThreadRecord();
  if (creator == nullptr) return Invalid(record);
  *creator = nullptr;
  if (work_folder == nullptr || source_folder == nullptr ||
      media_name == nullptr) {
    return Invalid(record);
  }
  return Guarded(record, [&] {
    auto made = std::make_unique<tessaline_creator>();
    made->creator = std::make_unique<Tessaline>(Wide(work_folder).c_str(),
                                                Wide(source_folder).c_str(),
                                                Wide(media_name).c_str());
    *creator = made.release();
  });
}

void tessaline_destroy(tessaline_creator* creator) {
  try {
    delete creator;
  } catch (...) {
    // Nothing can be reported: the handle is gone.
  }
}

tessaline_status tessaline_analyze_layout(tessaline_creator* creator,
                                          const tessaline_char* layout_path) {
  if (creator == nullptr) return TESSALINE_INVALID_ARGUMENT;
  if (layout_path == nullptr) return Invalid(creator->error);
  return Guarded(creator->error, [&] {
    creator->creator->AnalyzeLayout(Wide(layout_path).c_str());
  });
}

tessaline_status tessaline_num_discs(tessaline_creator* creator,
                                     uint32_t* count) {
  if (creator == nullptr || count == nullptr) {
    return TESSALINE_INVALID_ARGUMENT;
  }
  return Guarded(creator->error,
                 [&] { *count = creator->creator->NumDiscs(); });
}

tessaline_status tessaline_stage(tessaline_creator* creator, int32_t disc) {
  if (creator == nullptr) return TESSALINE_INVALID_ARGUMENT;
  return Guarded(creator->error, [&] { creator->creator->Stage(disc); });
}

tessaline_status tessaline_create_disc(tessaline_creator* creator, int32_t disc,
                                       int32_t verify,
                                       tessaline_status_callback callback,
                                       void* context) {
  if (creator == nullptr) return TESSALINE_INVALID_ARGUMENT;
  return Guarded(creator->error, [&] {
    if (callback == nullptr) {
      creator->creator->CreateDisc(disc, verify, nullptr, context);
      return;
    }
    auto relay = std::make_unique<Relay>(Relay{callback, context});
    creator->creator->CreateDisc(disc, verify, &Relay::Forward, relay.get());
    // The previous job has been released by now, and with it the last
    // user of the previous relay.
    creator->relay = std::move(relay);
  });
}

tessaline_status tessaline_set_drive(tessaline_creator* creator,
                                     int32_t index) {
  if (creator == nullptr) return TESSALINE_INVALID_ARGUMENT;
  return Guarded(creator->error, [&] { creator->creator->SetDrive(index); });
}

tessaline_status tessaline_set_temp_dir(tessaline_creator* creator,
                                        const tessaline_char* folder) {
  if (creator == nullptr) return TESSALINE_INVALID_ARGUMENT;
  if (folder == nullptr) return Invalid(creator->error);
  return Guarded(creator->error,
                 [&] { creator->creator->SetTempDir(Wide(folder).c_str()); });
}

tessaline_status tessaline_get_temp_dir(tessaline_creator* creator,
                                        const tessaline_char** folder) {
  if (creator == nullptr) return TESSALINE_INVALID_ARGUMENT;
  if (folder == nullptr) return Invalid(creator->error);
  return Guarded(creator->error, [&] {
    const wchar_t* wide = nullptr;
    creator->creator->GetTempDir(&wide);
    creator->tempDir = Host(wide != nullptr ? wide : L"");
    *folder = creator->tempDir.c_str();
  });
}

tessaline_status tessaline_cancel(tessaline_creator* creator) {
  if (creator == nullptr) return TESSALINE_INVALID_ARGUMENT;
  try {
    creator->creator->Cancel();
    return TESSALINE_OK;
  } catch (...) {
    return TESSALINE_FAILURE;
  }
}

tessaline_status tessaline_list_recorders(tessaline_recorder* recorders,
                                          size_t capacity, size_t* count) {
  ErrorRecord& record = ThreadRecord();
  if (count == nullptr || (recorders == nullptr && capacity != 0)) {
    return Invalid(record);
  }
  *count = 0;
  return Guarded(record, [&] {
    std::vector<RecorderInfo> found;
    Tessaline::ListRecorders(found);
    *count = found.size();
    for (std::size_t i = 0; i < found.size() && i < capacity; ++i) {
      const RecorderInfo& info = found[i];
      tessaline_recorder& out = recorders[i];
      out.index = info.index;
      out.current_media_type = static_cast<std::int32_t>(info.currentMediaType);
      for (std::size_t type = 0; type < 20; ++type) {
        out.current_media_flags[type] = info.currentMediaFlags[type] ? 1 : 0;
        out.media_support_flags[type] = info.mediaSupportFlags[type] ? 1 : 0;
      }
      CopyText(info.vendorId, out.vendor_id, TESSALINE_RECORDER_ID_SIZE);
      CopyText(info.productId, out.product_id, TESSALINE_RECORDER_ID_SIZE);
      CopyText(info.mountPoints, out.mount_points, TESSALINE_MOUNT_POINTS_SIZE);
    }
  });
}

tessaline_status tessaline_media_type_in_recorder(int32_t index,
                                                  int32_t* media_type,
                                                  int32_t* media_status) {
  ErrorRecord& record = ThreadRecord();
  if (media_type == nullptr) return Invalid(record);
  return Guarded(record, [&] {
    std::int32_t status = 0;
    *media_type = static_cast<std::int32_t>(
        Tessaline::MediaTypeInRecorder(index, &status));
    if (media_status != nullptr) *media_status = status;
  });
}

tessaline_status tessaline_is_media_blank(int32_t index, int32_t* blank) {
  ErrorRecord& record = ThreadRecord();
  if (blank == nullptr) return Invalid(record);
  return Guarded(record,
                 [&] { *blank = Tessaline::IsMediaBlank(index) ? 1 : 0; });
}

tessaline_status tessaline_eject_close(uint32_t index, int32_t close) {
  return Guarded(ThreadRecord(),
                 [&] { Tessaline::EjectClose(index, close != 0); });
}

tessaline_status tessaline_drive_lock(uint32_t index, int32_t lock,
                                      int32_t* result) {
  return Guarded(ThreadRecord(), [&] {
    const std::int32_t done = Tessaline::DriveLock(index, lock != 0);
    if (result != nullptr) *result = done;
  });
}

tessaline_status tessaline_disable_enable_mcn(uint32_t index, int32_t disable,
                                              int32_t* result) {
  return Guarded(ThreadRecord(), [&] {
    const std::int32_t done = Tessaline::DisableEnableMCN(index, disable != 0);
    if (result != nullptr) *result = done;
  });
}

}  // extern "C"
