// The whole system on virtual drives: the shared library through its public
// class, the real mastering tool, the UDF builder, and readers that are not
// ours.
#ifndef TESSALINE_TESTS_E2E_E2E_FIXTURE_H_
#define TESSALINE_TESTS_E2E_E2E_FIXTURE_H_

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "support/core/temp_folder.h"
#include "tessaline/tessaline.h"

namespace tessaline::testing {

// The reports of one disc; the host's thread waits for the final one.
class DiscReports {
 public:
  static void Callback(std::int32_t code, std::intptr_t first,
                       std::intptr_t second, void* context);
  // Waits for the final report and returns every code in order.
  std::vector<std::int32_t> WaitForFinal();
  std::intptr_t final_first() const { return final_first_; }
  const std::wstring& failure() const { return failure_; }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  std::vector<std::int32_t> codes_;
  bool ended_flag_ = false;
  std::intptr_t final_first_ = 0;
  std::wstring failure_;
};

// The output and exit status of a command run without a shell.
struct CommandResult {
  int status = -1;
  std::string output;
};
CommandResult RunCommand(const std::vector<std::string>& arguments);

class EndToEndTest : public ::testing::Test {
 protected:
  EndToEndTest();
  ~EndToEndTest() override;

  // Makes drive0 holding a blank medium of `type`; extra lines go into its
  // drive.ini ("sectors=…", "speed=…").
  void MakeDrive(const std::string& type, const std::string& extra = "");
  // disc 1: boot, sources, kiro; disc 2: data.
  void MakeContent();
  void WriteLayout();
  // Makes one disc and waits for its final report.
  std::vector<std::int32_t> MakeDisc(Tessaline& creator, std::int32_t disc,
                                     std::int32_t verify,
                                     DiscReports* reports = nullptr);
  Tessaline MakeCreator();
  std::filesystem::path Ejected(int number) const;

  TempFolder temp_;
  std::filesystem::path drives_;
  std::filesystem::path source_;
  std::filesystem::path work_;
  std::filesystem::path layout_;
  std::string previous_drives_;
  bool had_drives_ = false;
};

// True when `codes` holds `expected` in that order, other codes between.
bool HoldsInOrder(const std::vector<std::int32_t>& codes,
                  const std::vector<std::int32_t>& expected);

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_E2E_E2E_FIXTURE_H_
