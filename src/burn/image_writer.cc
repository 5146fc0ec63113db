#include "burn/image_writer.h"

#include <optional>
#include <vector>

#include "burn/diagnostics.h"
#include "burn/erase.h"
#include "burn/event_sinks.h"
#include "burn/recorder.h"
#include "platform/text.h"

namespace tessaline {

using platform::Failed;
using platform::HRESULT;
using platform::kS_OK;
using platform::Succeeded;

namespace {

constexpr std::uint64_t kSectorSize = 2048;
constexpr std::uint64_t kMaxSectors = 0x7FFFFFFF;

using DataBinding = RecorderBinding<platform::IDiscFormat2Data>;
using DataSinkAdvice = burn::AdvisedSink<platform::IDiscFormat2Data,
                                         platform::DDiscFormat2DataEvents>;

std::shared_ptr<CTestDataWriter2Event> MakeSink(StatusCallback notify,
                                                void* context,
                                                const CancelFlag* cancel) {
  auto sink = std::make_shared<CTestDataWriter2Event>();
  sink->notify = notify;
  sink->notifyContext = context;
  sink->cancelFlag = cancel;
  return sink;
}

void SetOutcome(WriteOutcome* outcome, WriteOutcome value) {
  if (outcome != nullptr) *outcome = value;
}

// A write that did not happen was stopped by the cancel flag when the flag
// is set by then; otherwise it failed.
WriteOutcome NotWritten(const CancelFlag* cancel) {
  return IsCancelled(cancel) ? WriteOutcome::kCancelled
                             : WriteOutcome::kNotWritten;
}

// Asks whether the medium is blank once every set-up step has succeeded.
// Throws UserNeededException(kUserNeededBlankUnknown) when the recorder cannot
// say.
bool MediumIsBlank(const platform::Platform& platform,
                   platform::IDiscFormat2Data& writer) {
  bool blank = false;
  if (Failed(writer.GetMediaHeuristicallyBlank(&blank))) {
    burn::Say(platform, "Failed to get_MediaHeuristicallyBlank\n");
    throw UserNeededException(kUserNeededBlankUnknown);
  }
  return blank;
}

// Erases the medium unless it is blank, and only when every set-up step of
// the write succeeded: a write that is already doomed must not cost the
// medium its content. Returns false, having erased nothing, when the cancel
// flag is set.
bool EraseUnlessBlank(const platform::Platform& platform, HRESULT status,
                      bool blank, std::int32_t drive_index,
                      StatusCallback notify, void* context,
                      const CancelFlag* cancel) {
  if (IsCancelled(cancel)) return false;
  if (Succeeded(status) && !blank) {
    EraseRecorderMedia(platform, drive_index, true, notify, context);
  }
  return true;
}

}  // namespace

HRESULT OpenIsoStream(const platform::Platform& platform,
                      std::shared_ptr<platform::IStream>* stream,
                      std::int32_t* sectors, const std::wstring& image_path) {
  stream->reset();
  *sectors = 0;
  std::shared_ptr<platform::IStream> file;
  HRESULT hr = platform.disc->CreateStreamOnFile(image_path, &file);
  if (Failed(hr)) {
    burn::Say(platform, burn::Format("Failed to open file %s\n",
                                     platform::ToUtf8(image_path).c_str()));
    return hr;
  }
  std::uint64_t size = 0;
  hr = file->Stat(&size);
  if (Failed(hr)) {
    burn::Say(platform, "Failed to get stats for file\n");
    return hr;
  }
  auto shown = static_cast<long long>(size);
  if (size % kSectorSize != 0) {
    burn::Say(platform,
              burn::Format("File is not multiple of 2048 bytes.  File size is "
                           "%lld (%llx)\n",
                           shown, shown));
    return platform::kE_FAIL;
  }
  if (size / kSectorSize > kMaxSectors) {
    burn::Say(platform, burn::Format("File is too large, # of sectors won't "
                                     "fit a LONG.  File size is %lld (%llx)\n",
                                     shown, shown));
    return platform::kE_FAIL;
  }
  *stream = std::move(file);
  *sectors = static_cast<std::int32_t>(size / kSectorSize);
  return kS_OK;
}

HRESULT WriteIsoImage(const platform::Platform& platform,
                      const std::wstring& image_path, std::int32_t drive_index,
                      StatusCallback notify, void* context,
                      const CancelFlag* cancel, WriteOutcome* outcome) {
  SetOutcome(outcome, WriteOutcome::kNotWritten);
  std::shared_ptr<platform::IDiscFormat2Data> writer;
  ThrowIfFailed(platform.disc->CreateDataWriter(&writer),
                L"CoCreateInstance failed");
  auto recorder = OpenRecorder(platform, drive_index);
  std::optional<DataBinding> binding;
  binding.emplace(writer, recorder);
  ThrowIfFailed(writer->PutClientName(burn::kClientName),
                L"FAILED to set client name for ISO write!\n");

  std::vector<IMAPI_MEDIA_PHYSICAL_TYPE> types;
  HRESULT hr = writer->GetSupportedMediaTypes(&types);
  if (Failed(hr)) burn::Say(platform, "Failed get_SupportedMediaTypes()\n");

  std::shared_ptr<platform::IStream> stream;
  if (Succeeded(hr)) {
    std::int32_t sectors = 0;
    hr = OpenIsoStream(platform, &stream, &sectors, image_path);
    if (Failed(hr)) {
      burn::Say(platform, "Failed to create data stream for writing\n");
    }
  }

  const bool blank = Succeeded(hr) && MediumIsBlank(platform, *writer);
  if (!EraseUnlessBlank(platform, hr, blank, drive_index, notify, context,
                        cancel)) {
    SetOutcome(outcome, WriteOutcome::kCancelled);
    return kS_OK;
  }

  auto sink = MakeSink(notify, context, cancel);
  std::optional<DataSinkAdvice> advised;
  advised.emplace(writer, sink);
  bool written = false;
  if (Succeeded(hr) && !IsCancelled(cancel)) {
    hr = writer->Write(stream.get());
    if (Failed(hr) && !IsCancelled(cancel)) {
      burn::Say(platform, "Failed to write stream\n");
      throw UserNeededException(kUserNeededWriteFailed);
    }
    written = Succeeded(hr);
  }
  SetOutcome(outcome, written ? WriteOutcome::kWritten : NotWritten(cancel));
  advised.reset();
  sink.reset();
  stream.reset();
  binding.reset();
  return hr;
}

HRESULT WriteFolderImage(const platform::Platform& platform,
                         const std::wstring& folder_path,
                         std::int32_t drive_index, const wchar_t* volume_name,
                         StatusCallback notify, void* context,
                         const CancelFlag* cancel,
                         const wchar_t* boot_image_path,
                         WriteOutcome* outcome) {
  SetOutcome(outcome, WriteOutcome::kNotWritten);
  const std::wstring folder = folder_path;

  std::shared_ptr<platform::IDiscFormat2Data> writer;
  HRESULT hr = platform.disc->CreateDataWriter(&writer);
  if (Failed(hr) || !writer) {
    // Without a data writer nothing can be asked of the medium: going on
    // would erase it for a write that cannot happen.
    burn::Say(platform, "FAILED CoCreateInstance\n");
    throw MediaWriterException(L"FAILED CoCreateInstance\n");
  }

  std::shared_ptr<platform::IDiscRecorder2> recorder;
  std::optional<DataBinding> binding;
  if (Succeeded(hr)) {
    recorder = OpenRecorder(platform, drive_index);
    binding.emplace(writer, recorder);
  }
  if (Succeeded(hr)) {
    hr = writer->PutClientName(burn::kClientName);
    if (Failed(hr)) {
      burn::Say(platform, "FAILED to set client name for erase!\n");
    }
  }
  if (Succeeded(hr)) {
    std::vector<IMAPI_MEDIA_PHYSICAL_TYPE> types;
    hr = writer->GetSupportedMediaTypes(&types);
    if (Failed(hr)) burn::Say(platform, "FAILED to get_SupportedMediaTypes\n");
  }

  std::shared_ptr<platform::IFileSystemImage> image;
  if (Succeeded(hr)) {
    hr = platform.disc->CreateFileSystemImage(&image);
    if (Failed(hr)) burn::Say(platform, "Failed CoCreate for filesystem\n");
  }
  if (Succeeded(hr)) {
    // UDF alone: no ISO 9660 or Joliet part on the disc.
    hr = image->PutFileSystemsToCreate(platform::kFileSystemUDF);
    if (Failed(hr)) {
      burn::Say(platform, "Failed to put PileSystemsToCreate\n");
    }
  }
  std::shared_ptr<platform::IFsiDirectoryItem> root;
  if (Succeeded(hr)) {
    hr = image->GetRoot(&root);
    if (Failed(hr)) burn::Say(platform, "Failed to get root directory\n");
  }

  if (boot_image_path != nullptr && Succeeded(hr)) {
    std::shared_ptr<platform::IBootOptions> boot;
    hr = platform.disc->CreateBootOptions(&boot);
    if (Failed(hr)) burn::Say(platform, "FAILED cocreate bootoptions\n");
    std::shared_ptr<platform::IStream> boot_stream;
    if (Succeeded(hr)) {
      hr = platform.disc->CreateStreamOnFile(boot_image_path, &boot_stream);
      if (Failed(hr)) {
        burn::Say(platform, "Failed SHCreateStreamOnFileW for BootImage\n");
      }
    }
    if (Succeeded(hr)) {
      hr = boot->AssignBootImage(boot_stream);
      if (Failed(hr)) burn::Say(platform, "Failed BootImage put_BootImage\n");
    }
    if (Succeeded(hr)) {
      hr = image->PutBootImageOptions(boot);
      if (Failed(hr)) {
        burn::Say(platform, "Failed BootImage put_BootImageOptions\n");
      }
    }
  }

  // A medium that is not blank is erased only once the image is built, so
  // its free room is known only for a blank one; otherwise the image has no
  // limit and the write itself finds a medium too small.
  const bool blank = Succeeded(hr) && MediumIsBlank(platform, *writer);
  if (Succeeded(hr) && blank) {
    std::int32_t free_blocks = 0;
    hr = writer->GetFreeSectorsOnMedia(&free_blocks);
    if (Failed(hr)) {
      burn::Say(platform, "Failed to get Free Media Blocks\n");
    } else {
      hr = image->PutFreeMediaBlocks(free_blocks);
      if (Failed(hr)) burn::Say(platform, "Failed to put Free Media Blocks\n");
    }
  }

  if (Succeeded(hr)) {
    std::string shown = platform::ToUtf8(folder);
    burn::Say(platform, "Adding " + shown);
    std::uint64_t start = platform.clock->SystemTime();
    hr = root->AddTree(folder, /*include_base_directory=*/false);
    std::uint64_t end = platform.clock->SystemTime();
    if (Failed(hr)) {
      burn::Say(platform,
                "\nFailed to add " + shown + " to root dir using AddTree\n");
    } else {
      burn::Say(platform, " - Time: " + burn::Hms(start, end) + "\n");
    }
  }

  if (Succeeded(hr)) {
    std::uint32_t systems = 0;
    hr = image->GetFileSystemsToCreate(&systems);
    if (Failed(hr)) {
      burn::Say(platform, "Failed image->get_FileSystemsToCreate\n");
    } else {
      std::string line = "Supported file systems: ";
      if (systems & platform::kFileSystemISO9660) line += "ISO9660 ";
      if (systems & platform::kFileSystemJoliet) line += "Joliet ";
      if (systems & platform::kFileSystemUDF) line += "UDF ";
      burn::Say(platform, line + "\n");
    }
  }

  if (Succeeded(hr)) {
    std::int32_t files = 0;
    std::int32_t directories = 0;
    hr = image->GetFileCount(&files);
    if (Succeeded(hr)) hr = image->GetDirectoryCount(&directories);
    if (Failed(hr)) {
      burn::Say(platform, "Failed image->get_FileCount\n");
    } else {
      burn::Say(platform, burn::Format("Number of Files: %d\n", files));
      burn::Say(platform,
                burn::Format("Number of Directorys: %d\n", directories));
    }
  }

  if (Succeeded(hr) && volume_name != nullptr) {
    hr = image->PutVolumeName(volume_name);
    if (Failed(hr)) burn::Say(platform, "Failed setting Volume Name\n");
  }

  std::shared_ptr<platform::IFileSystemImageResult> result;
  if (Succeeded(hr)) {
    hr = image->CreateResultImage(&result);
    if (Failed(hr)) {
      burn::Say(platform,
                burn::Format("Failed to get result image, returned %08x\n",
                             static_cast<unsigned>(hr)));
    }
  }
  std::shared_ptr<platform::IStream> stream;
  if (Succeeded(hr)) {
    hr = result->GetImageStream(&stream);
    if (Failed(hr)) {
      burn::Say(platform, burn::Format("Failed to get stream, returned %08x\n",
                                       static_cast<unsigned>(hr)));
    } else {
      burn::Say(platform, "Image ready to write\n");
    }
  }
  if (!EraseUnlessBlank(platform, hr, blank, drive_index, notify, context,
                        cancel)) {
    SetOutcome(outcome, WriteOutcome::kCancelled);
    return kS_OK;
  }

  auto sink = std::make_shared<CTestDataWriter2Event>();
  if (Succeeded(hr)) {
    sink->notify = notify;
    sink->notifyContext = context;
    sink->cancelFlag = cancel;
  }
  std::optional<DataSinkAdvice> advised;
  advised.emplace(writer, sink);

  bool written = false;
  // A cancel during the erase must not start the write.
  if (Succeeded(hr) && !IsCancelled(cancel)) {
    std::uint64_t start = platform.clock->SystemTime();
    hr = writer->Write(stream.get());
    std::uint64_t end = platform.clock->SystemTime();
    if (Failed(hr)) {
      if (!IsCancelled(cancel)) {
        burn::Say(platform, "Failed to write stream\n");
        throw UserNeededException(kUserNeededWriteFailed);
      }
    } else {
      written = true;
      burn::Say(platform, " - Time to write: " + burn::Hms(start, end) + "\n");
    }
  }
  advised.reset();

  if (Succeeded(hr)) {
    std::uint32_t protect = 0;
    hr = writer->GetWriteProtectStatus(&protect);
    if (Failed(hr)) burn::Say(platform, "Failed get_WriteProtectStatus()\n");
  }
  SetOutcome(outcome, written ? WriteOutcome::kWritten : NotWritten(cancel));

  sink.reset();
  stream.reset();
  result.reset();
  root.reset();
  image.reset();
  binding.reset();
  burn::Say(platform,
            burn::Format(Succeeded(hr) ? "DataWriter succeeded for drive "
                                         "index %d\n"
                                       : "DataWriter FAILED for drive index "
                                         "%d\n",
                         drive_index));
  return hr;
}

}  // namespace tessaline
