// The file dialogs' text helpers: the default extension taken from a filter (names that have
// one, filters without one, wildcards, several extensions, room) and the walk through a list
// of strings ended by an empty one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/file_dialog.h"

namespace {

// A dialog filter: description and pattern pairs, each zero-terminated, then an empty string.
const char kTextFilter[] = "Text (*.txt)\0*.txt\0All files (*.*)\0*.*\0";

struct ExtensionCase {
  const char* name;
  const char* filter;
  const char* expected;
};

const ExtensionCase kExtensions[] = {
    {"NOTES", kTextFilter, "NOTES.txt"},
    {"C:\\DOCS\\NOTES", kTextFilter, "C:\\DOCS\\NOTES.txt"},
    {"NOTES.DOC", kTextFilter, "NOTES.DOC"},           // has its own
    {"C:\\MY.DIR\\FILE", kTextFilter, "C:\\MY.DIR\\FILE"},  // a '.' anywhere counts
    {"", kTextFilter, ".txt"},
    {"A", "Pictures (*.bmp;*.png)", "A.bmp"},          // the first of several
    {"A", "Pictures (*.bmp *.png)", "A.bmp"},
    {"A", "All files (*.*)", "A"},                     // a wildcard is no extension
    {"A", "Some (*.t?t)", "A"},
    {"A", "Text *.txt", "A"},                          // no ')' after the '.'
    {"A", "Plain", "A"},                               // no '.'
    {"A", "Dot (.)", "A"},                             // nothing after the '.'
    {"A", "All files\0*.txt\0", "A"},                  // only the first description is read
};

TEST(FileDialogNames, AppendFilterExtension) {
  for (const ExtensionCase& c : kExtensions) {
    SCOPED_TRACE(std::string(c.name) + " | " + c.filter);
    char name[64];
    strcpy(name, c.name);
    EXPECT_EQ(append_filter_extension(name, sizeof name, c.filter), 0);
    EXPECT_STREQ(name, c.expected);
  }
}

TEST(FileDialogNames, ExtensionMustFitTheRoom) {
  char name[8] = "ABC";  // "ABC.txt" needs 8 bytes with its terminator
  EXPECT_EQ(append_filter_extension(name, sizeof name, kTextFilter), 0);
  EXPECT_STREQ(name, "ABC.txt");

  char longer[9] = "ABCD";
  strcpy(longer + 5, "xyz");  // bytes after the name that must stay untouched
  EXPECT_EQ(append_filter_extension(longer, 8, kTextFilter), -1);
  EXPECT_STREQ(longer, "ABCD");
  EXPECT_STREQ(longer + 5, "xyz");

  char unterminated[4] = {'A', 'B', 'C', 'D'};
  EXPECT_EQ(append_filter_extension(unterminated, sizeof unterminated, kTextFilter), -1);
}

TEST(FileDialogNames, NextMultiStringWalksTheList) {
  const char list[] = "C:\\GAME\0A.TXT\0B.TXT\0";  // the literal's own terminator ends it
  const char* s = list;
  std::string walked;
  for (; s != nullptr; s = next_multi_string(s)) walked += std::string(s) + "|";
  EXPECT_EQ(walked, "C:\\GAME|A.TXT|B.TXT|");

  EXPECT_EQ(next_multi_string("ONLY\0"), nullptr);
  EXPECT_EQ(next_multi_string(nullptr), nullptr);
}

}  // namespace
