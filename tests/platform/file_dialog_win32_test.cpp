// The message pump: it dispatches what is waiting and returns without waiting; a quit
// message ends it and is taken from the queue, with what came before it dispatched. A file
// dialog of an unknown kind shows nothing and only pumps. (The dialogs themselves need a
// display: tests/wine.)
#include <gtest/gtest.h>

#include "platform/file_dialog.h"

namespace {

int g_dispatched = 0;

LRESULT CALLBACK counting_procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    ++g_dispatched;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class MessagePump : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc{};
    wc.lpfnWndProc = counting_procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VelmorPumpTest";
    RegisterClassA(&wc);
    // A message-only window: it takes messages and needs no display.
    window_ = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
    g_dispatched = 0;
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  void TearDown() override { DestroyWindow(window_); }

  static bool queue_empty() {
    MSG m;
    return PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE) == 0;
  }

  HWND window_ = nullptr;
};

TEST_F(MessagePump, DispatchesWhatWaitsAndReturns) {
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(PostMessageA(window_, WM_APP, 0, 0));
  EXPECT_EQ(pump_messages(), 0);
  EXPECT_EQ(g_dispatched, 3);
  EXPECT_TRUE(queue_empty());
  EXPECT_EQ(pump_messages(), 0);  // nothing waits: returns at once
  EXPECT_EQ(g_dispatched, 3);
}

TEST_F(MessagePump, QuitMessageIsTakenAndEndsThePump) {
  ASSERT_TRUE(PostMessageA(window_, WM_APP, 0, 0));
  PostQuitMessage(7);
  EXPECT_EQ(pump_messages(), 0);
  EXPECT_EQ(g_dispatched, 1);  // posted messages come before the quit
  EXPECT_TRUE(queue_empty());  // and the quit is not posted again
}

TEST_F(MessagePump, UnknownDialogKindShowsNothing) {
  ASSERT_TRUE(PostMessageA(window_, WM_APP, 0, 0));
  char directory[MAX_PATH] = "C:\\";
  char record[MAX_PATH] = "\x02NAME.TXT";
  EXPECT_EQ(file_dialog("Title", "Text (*.txt)\0*.txt\0", directory, sizeof directory, record,
                        sizeof record, 3, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(g_dispatched, 1);
  EXPECT_STREQ(directory, "C:\\");
  EXPECT_STREQ(record, "\x02NAME.TXT");
}

}  // namespace
