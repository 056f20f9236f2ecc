#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/trace.h"

namespace {

TEST(MessageBox, RecorderAnswersFromItsQueueAndRecordsEveryCall) {
  qv::MessageBoxRecorder recorder;
  recorder.Answer(qv::kIdCancel);
  EXPECT_EQ(qv::MessageBox("All Data will be deleted. Continue ?", "QuorvinPlus",
                           qv::kMbOkCancel | qv::kMbIconWarning),
            qv::kIdCancel);
  // Calls from another thread (the engine's) are recorded too.
  std::thread([] { qv::MessageBox("Can not open log.", "Error", qv::kMbOk); }).join();
  auto calls = recorder.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].caption, "QuorvinPlus");
  EXPECT_EQ(calls[0].flags, qv::kMbOkCancel | qv::kMbIconWarning);
  EXPECT_EQ(calls[1].text, "Can not open log.");
  EXPECT_EQ(calls[1].caption, "Error");
}

TEST(MessageBox, ConsoleBackendRefusesOkCancelWithoutConsent) {
  qv::MessageBoxCall call{"Continue ?", "QuorvinPlus", qv::kMbOkCancel};
  unsetenv("QUORVIN_ASSUME_YES");
  EXPECT_EQ(qv::ConsoleMessageBox(call), qv::kIdCancel);
  setenv("QUORVIN_ASSUME_YES", "1", 1);
  EXPECT_EQ(qv::ConsoleMessageBox(call), qv::kIdOk);
  unsetenv("QUORVIN_ASSUME_YES");
}

TEST(Trace, CaptureSeesFormattedLines) {
  qv::TraceCapture capture;
  qv::Trace("OnInitDialog 0");
  qv::TraceF("chipID=%d,chipVer=%d", 1059, 2);
  EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"OnInitDialog 0", "chipID=1059,chipVer=2"}));
}

}  // namespace
