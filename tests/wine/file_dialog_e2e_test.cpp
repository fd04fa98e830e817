// The file library's open, save and open-several dialogs on a real display: a hook types the
// answer into the dialog and presses OK (or Cancel), and the result buffer, the folder and the
// name record are checked, including the default extension and both open-several forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/pak_fixture.h"
#include "support/temp_dir.h"
#include "platform/file_dialog.h"

namespace {

// What the hook does once the dialog is up: type this (null: press Cancel) and press OK.
const char* g_typed = nullptr;

UINT_PTR CALLBACK answering_hook(HWND hookDialog, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_NOTIFY || reinterpret_cast<NMHDR*>(lParam)->code != CDN_INITDONE) return 0;
  HWND dialog = GetParent(hookDialog);
  if (g_typed != nullptr) {
    // The name box is edt1 in older dialogs and cmb13 in newer ones.
    for (int id : {edt1, cmb13}) {
      SendMessageA(dialog, CDM_SETCONTROLTEXT, id, reinterpret_cast<LPARAM>(g_typed));
    }
  }
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(g_typed != nullptr ? IDOK : IDCANCEL, BN_CLICKED), 0);
  return 0;
}

// Strings of a result list (kind 2) or the one path.
std::vector<std::string> strings_of(const char* result, int kind) {
  std::vector<std::string> out;
  if (result == nullptr) return out;
  if (kind != FILE_DIALOG_OPEN_SEVERAL) return {result};
  for (const char* s = result; s != nullptr; s = next_multi_string(s)) out.push_back(s);
  return out;
}

const char kFilter[] = "Text (*.txt)\0*.txt\0All files (*.*)\0*.*\0";

struct DialogCase {
  const char* name;
  int kind;
  uint8_t filterIndex;  // handed in through the name record
  const char* typed;
  // Expected: the result's strings, "D" standing for the folder; the name handed back.
  std::vector<std::string> result;
  const char* recordName;
};

const DialogCase kCases[] = {
    {"open", FILE_DIALOG_OPEN, 1, "a.txt", {"D\\a.txt"}, "a.txt"},
    {"save gets the filter's extension", FILE_DIALOG_SAVE, 1, "notes", {"D\\notes.txt"},
     "notes.txt"},
    {"second filter kept", FILE_DIALOG_OPEN, 2, "b.txt", {"D\\b.txt"}, "b.txt"},
    {"several", FILE_DIALOG_OPEN_SEVERAL, 1, "\"a.txt\" \"b.txt\"", {"D", "a.txt", "b.txt"},
     "a.txt"},
    {"several, one chosen", FILE_DIALOG_OPEN_SEVERAL, 1, "b.txt", {"D", "b.txt"}, "b.txt"},
};

TEST(FileDialog, ChoiceHandedBack) {
  TempDir folder;
  ASSERT_TRUE(write_file_bytes(folder.join("a.txt"), bytes_of("a")));
  ASSERT_TRUE(write_file_bytes(folder.join("b.txt"), bytes_of("b")));
  for (const DialogCase& c : kCases) {
    SCOPED_TRACE(c.name);
    char directory[MAX_PATH];
    snprintf(directory, sizeof directory, "%s", folder.path().c_str());
    char record[MAX_PATH] = {static_cast<char>(c.filterIndex), '\0'};
    g_typed = c.typed;
    const char* result = file_dialog("Choose", kFilter, directory, sizeof directory, record,
                                     sizeof record, c.kind, nullptr, answering_hook);
    ASSERT_NE(result, nullptr);
    std::vector<std::string> expected;
    for (std::string s : c.result) {
      if (s[0] == 'D') s = folder.path() + s.substr(1);
      expected.push_back(s);
    }
    EXPECT_EQ(strings_of(result, c.kind), expected);
    EXPECT_EQ(std::string(directory), folder.path() + "\\");
    EXPECT_EQ(static_cast<uint8_t>(record[0]), c.filterIndex);
    EXPECT_STREQ(record + 1, c.recordName);
  }
}

TEST(FileDialog, CancelLeavesEverythingAsItWas) {
  TempDir folder;
  char directory[MAX_PATH];
  snprintf(directory, sizeof directory, "%s", folder.path().c_str());
  char record[MAX_PATH] = "\x01" "old.txt";
  g_typed = nullptr;
  EXPECT_EQ(file_dialog("Choose", kFilter, directory, sizeof directory, record, sizeof record,
                        FILE_DIALOG_SAVE, nullptr, answering_hook),
            nullptr);
  EXPECT_EQ(std::string(directory), folder.path());
  EXPECT_STREQ(record, "\x01" "old.txt");
}

TEST(FileDialog, ChoiceTooLongForTheNameRecordIsRefused) {
  TempDir folder;
  ASSERT_TRUE(write_file_bytes(folder.join("a.txt"), bytes_of("a")));
  char directory[MAX_PATH];
  snprintf(directory, sizeof directory, "%s", folder.path().c_str());
  char record[4] = {1, 'x', '\0', 'y'};  // "a.txt" does not fit
  g_typed = "a.txt";
  EXPECT_EQ(file_dialog("Choose", kFilter, directory, sizeof directory, record, sizeof record,
                        FILE_DIALOG_OPEN, nullptr, answering_hook),
            nullptr);
  EXPECT_EQ(std::string(directory), folder.path());
  EXPECT_EQ(record[1], 'x');
  EXPECT_EQ(record[3], 'y');
}

}  // namespace
