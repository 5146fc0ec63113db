// The build stages of the writer job: the boot disc, made into an ISO image
// by the mastering tool, and the data discs, written as file-system images.
#include <cstdio>
#include <initializer_list>
#include <string>

#include "burn/image_writer.h"
#include "copy_compare/copy.h"
#include "copy_compare/file_handlers.h"
#include "mastering/image_tool.h"
#include "platform/text.h"
#include "writer/media_writer.h"

namespace tessaline {
namespace {

std::wstring HexStatus(platform::HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08X", static_cast<unsigned>(hr));
  return platform::FromUtf8(buffer);
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// The markers are empty files of their own: one written over an item of the
// disc that bears its name would empty that item.
void RefuseTakenMarkerNames(platform::FileSystem& files,
                            std::initializer_list<std::wstring> markers) {
  for (const std::wstring& marker : markers) {
    if (files.Exists(marker)) {
      throw MediaWriterException(
          marker + L" - disc marker would replace an item of the disc");
    }
  }
}

}  // namespace

std::wstring MediaWriter::BurnFolder() const {
  return PathIn(settings_.workFolder, L"Burn");
}

std::wstring MediaWriter::ImagePath() const {
  return PathIn(settings_.workFolder, L"boot.iso");
}

std::wstring MediaWriter::VolumeLabel() const {
  return L"RECOVERYDISC" + std::to_wstring(settings_.disc);
}

std::wstring MediaWriter::DiscMarkerName() const {
  return settings_.mediaName + std::to_wstring(settings_.disc);
}

void MediaWriter::RequireWorkFolder() const {
  // Without a work folder the build folder would be the file system's root.
  if (settings_.workFolder.empty()) {
    throw MediaWriterException(L"Missing work folder - build failed.");
  }
}

void MediaWriter::RenewBurnFolder() {
  DeleteTree(platform(), BurnFolder(), L"");
  platform().files->CreateFolder(BurnFolder());
}

void MediaWriter::CreateEmptyFile(const std::wstring& path) {
  auto file = platform().files->OpenWrite(path, nullptr);
  if (file) file->Close();
}

void MediaWriter::DeleteOrScheduleImage(const std::wstring& path) {
  auto& files = *platform().files;
  if (files.Exists(path) && !files.DeleteFile(path)) {
    files.DeleteAtRestart(path);
  }
}

void MediaWriter::SetUpPluginList(const std::wstring& burnFolder) {
  auto& files = *platform().files;
  const std::wstring kiro = PathIn(burnFolder, L"kiro");
  const std::wstring list = PathIn(kiro, L"plugins.xml");
  if (!files.Exists(list)) return;
  if (!files.SetNormalAttributes(list)) {
    throw MediaWriterException(
        L"Could not set up plugins.xml file (attrib change failed)");
  }
  if (files.CopyFile(PathIn(kiro, L"pluginsDVD.xml"), list) != 0) {
    throw MediaWriterException(
        L"Could not set up plugins.xml file (copy failed)");
  }
}

void MediaWriter::SetUpBootFolder(const std::wstring& sourceFolder,
                                  const std::wstring& burnFolder) {
  auto& files = *platform().files;
  const std::wstring source_boot =
      PathIn(PathIn(sourceFolder, L"sources"), L"boot");
  const std::wstring burn_boot = PathIn(burnFolder, L"boot");
  if (files.Exists(source_boot) && files.IsDirectory(source_boot) &&
      files.Exists(PathIn(source_boot, L"bcd")) && files.Exists(burn_boot) &&
      files.IsDirectory(burn_boot)) {
    DeleteTree(platform(), burn_boot, L"");
    CopyItem(platform(), source_boot, burn_boot, cancelFlag(), sourceFolder);
  }
}

void MediaWriter::CopyDiscItems(const std::wstring& source,
                                const std::wstring& items,
                                const std::wstring& destination) {
  tessaline::CopyDiscItems(platform(), Reporter(), source, items, destination,
                           cancelFlag());
}

std::uint32_t MediaWriter::RunImageTool(const std::wstring& toolPath,
                                        const std::wstring& arguments) {
  return tessaline::RunImageTool(platform(), Reporter(), toolPath, arguments,
                                 cancelFlag());
}

void MediaWriter::WriteBootImage(const std::wstring& imagePath) {
  WriteOutcome outcome = WriteOutcome::kNotWritten;
  const platform::HRESULT hr =
      WriteIsoImage(platform(), imagePath, settings_.recorderIndex,
                    &MediaWriter::ForwardStatus, this, cancelFlag(), &outcome);
  if (outcome == WriteOutcome::kNotWritten && !Cancelled()) {
    throw MediaWriterException(L"Writing the disc failed (0x" + HexStatus(hr) +
                               L")");
  }
}

void MediaWriter::WriteDataImage(const std::wstring& folderPath) {
  WriteOutcome outcome = WriteOutcome::kNotWritten;
  const std::wstring label = VolumeLabel();
  const platform::HRESULT hr = WriteFolderImage(
      platform(), folderPath, settings_.recorderIndex, label.c_str(),
      &MediaWriter::ForwardStatus, this, cancelFlag(), nullptr, &outcome);
  if (outcome == WriteOutcome::kNotWritten && !Cancelled()) {
    throw MediaWriterException(L"Writing the disc failed (0x" + HexStatus(hr) +
                               L")");
  }
}

void MediaWriter::BuildBootDisc() {
  auto& p = platform();
  auto& files = *p.files;
  RequireWorkFolder();
  ReportStatus(kStatusAssembling, 0, 0);
  const std::wstring burn = BurnFolder();
  RenewBurnFolder();
  CopyDiscItems(settings_.sourceFolder, settings_.items, burn);
  const std::wstring boot_marker = PathIn(burn, L"DVD");
  const std::wstring disc_marker = PathIn(burn, DiscMarkerName());
  RefuseTakenMarkerNames(files, {boot_marker, disc_marker});
  CreateEmptyFile(boot_marker);
  CreateEmptyFile(disc_marker);
  // After a cancel the copy may be partial: switching files in it could
  // only turn the cancel into a failure.
  if (!Cancelled()) {
    SetUpPluginList(burn);
    SetUpBootFolder(settings_.sourceFolder, burn);
  }
  ReportStatus(kStatusContentReady, 0, 0);

  const std::wstring module = p.volumes->ModuleFolder();
  const std::wstring tool =
      PathIn(module, p.processes->ProgramFileName(L"oscdimg"));
  if (!files.Exists(tool)) {
    DeleteTree(p, burn, L"");
    throw MediaWriterException(tool + L" missing");
  }
  ReportStatus(kStatusMakingBootImage, 0, 0);

  std::wstring boot_sector = PathIn(module, L"etfsboot.com");
  const std::wstring source_boot_sector =
      PathIn(PathIn(settings_.sourceFolder, L"boot"), L"etfsboot.com");
  if (files.Exists(source_boot_sector)) boot_sector = source_boot_sector;
  if (!files.Exists(boot_sector)) {
    DeleteTree(p, burn, L"");
    throw MediaWriterException(boot_sector + L" missing");
  }

  const std::wstring image = ImagePath();
  files.MakeWritable(image);
  files.DeleteFile(image);
  const std::wstring arguments = L"-l" + VolumeLabel() + L" /n /m /B" +
                                 Quoted(boot_sector) + L" " + Quoted(burn) +
                                 L" " + Quoted(image);
  if (!Cancelled()) {
    if (RunImageTool(tool, arguments) != 0) {
      DeleteTree(p, burn, L"");
      throw MediaWriterException(L"oscdimg.exe returned an error");
    }
    if (!files.Exists(image)) {
      DeleteTree(p, burn, L"");
      throw MediaWriterException(L"boot.iso missing, oscdimg.exe failed");
    }
  }
  DeleteTree(p, burn, L"");
  if (files.Exists(image)) files.DeleteAtRestart(image);
  if (!Cancelled()) {
    ReportStatus(kStatusWritingStarts, 0, 0);
    WriteBootImage(image);
  }
  files.SetNormalAttributes(image);
  if (settings_.verify == 0) {
    DeleteOrScheduleImage(image);
    ReportStatus(kStatusDiscFinished, 0, 0);
  }
}

void MediaWriter::BuildDataDisc() {
  RequireWorkFolder();
  ReportStatus(kStatusAssembling, 0, 0);
  const std::wstring burn = BurnFolder();
  RenewBurnFolder();
  CopyDiscItems(settings_.sourceFolder, settings_.items, burn);
  const std::wstring disc_marker = PathIn(burn, DiscMarkerName());
  RefuseTakenMarkerNames(*platform().files, {disc_marker});
  CreateEmptyFile(disc_marker);
  if (!Cancelled()) SetUpPluginList(burn);
  if (!Cancelled()) {
    ReportStatus(kStatusWritingStarts, 0, 0);
    WriteDataImage(burn);
  }
  DeleteTree(platform(), burn, L"");
  if (settings_.verify == 0) ReportStatus(kStatusDiscFinished, 0, 0);
}

}  // namespace tessaline
