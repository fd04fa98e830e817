// pak delete, pak rename and pak compact, and what every changing command promises: a failure
// injected at any write (or any short write, create or seek) leaves the archive readable with
// its previous bytes and no working copy behind.
#include "pak_tool_fixture.h"
#include "support/fault_injection.h"

namespace {

class EditCompact : public PakToolTest {
 protected:
  // Runs a command once to count its host calls of one kind, then once per call with that
  // call failing (or cut short): each run must fail and leave the archive exactly as it was,
  // or (where the step was not needed) succeed with a sound archive.
  void fail_each(const std::string& path, const std::vector<std::string>& args, HostOp op,
                 bool shortWrite);
};

FixtureArchive four_members() {
  FixtureArchive a;
  a.firstLetter = '@';
  a.lastLetter = '@';
  a.compressed = true;
  a.members = {{"A.TXT", pak_fixture_member_record(bytes_of("alpha")), false, 0},
               {"b.txt", bytes_of("bravo"), false, 0},
               {"dead", bytes_of("dead bytes"), true, 0},
               {"sub\\c.txt", pak_fixture_member_record(bytes_of(std::string(70000, 'c'))), false, 0}};
  return a;
}

std::vector<std::string> live_names(const std::vector<SeenEntry>& entries) {
  std::vector<std::string> names;
  for (const SeenEntry& e : entries) {
    if (e.offset != 0) names.push_back(e.name);
  }
  return names;
}

TEST_F(EditCompact, DeleteMarksEntriesAndKeepsTheRest) {
  const std::string path = put("d.pak", pak_fixture_bytes(four_members()));
  ASSERT_EQ(pak({"delete", path, "a.txt", "SUB\\C.TXT"}).code, 0);
  const std::vector<SeenEntry> seen = entries_of(path);
  ASSERT_EQ(seen.size(), 4u) << "entries stay until compaction";
  EXPECT_EQ(live_names(seen), (std::vector<std::string>{"b.txt"}));
  EXPECT_EQ(seen[1].stored, bytes_of("bravo"));
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(EditCompact, RenameGivesTheWholeNewName) {
  const std::string path = put("r.pak", pak_fixture_bytes(four_members()));
  ASSERT_EQ(pak({"rename", path, "sub\\c.txt", "other\\d.txt"}).code, 0);
  ASSERT_EQ(pak({"rename", path, "a.txt", "a.TXT"}).code, 0) << "its own name in another case";
  EXPECT_EQ(live_names(entries_of(path)),
            (std::vector<std::string>{"a.TXT", "b.txt", "other\\d.txt"}));
  EXPECT_EQ(pak({"cat", path, "OTHER\\D.TXT"}).out, std::string(70000, 'c'));
}

TEST_F(EditCompact, ChangesThatAreRefusedChangeNothing) {
  const Bytes before = pak_fixture_bytes(four_members());
  const std::string path = put("x.pak", before);
  const std::string exe =
      put("Setup.exe", pak_fixture_append(pak_fixture_executable(100), before));
  expect_refused({
      {{"delete", path, "b.txt", "nothing"}, 1},  // all or nothing
      {{"delete", path, "dead"}, 1},
      {{"delete", path}, 2},
      {{"rename", path, "missing", "x"}, 1},
      {{"rename", path, "a.txt", "B.TXT"}, 1},  // taken
      {{"rename", path, "a.txt", std::string(40, 'x')}, 1},
      {{"rename", path, "a.txt"}, 2},
      {{"delete", exe, "b.txt"}, 1},
      {{"rename", exe, "b.txt", "c"}, 1},
      {{"compact", exe}, 1},
      {{"compact", file("missing.pak")}, 1},
  });
  EXPECT_EQ(read_file_bytes(path), before);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(EditCompact, ReadOnlyArchivesAreLeftAlone) {
  const Bytes before = pak_fixture_bytes(four_members());
  const std::string path = put("ro.pak", before);
  put("n.txt", "new");
  ASSERT_EQ(host_set_attributes(path.c_str(), HOST_ATTR_READONLY), 0);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"add", path, file("n.txt")}, {"delete", path, "b.txt"},
        {"compact", path}, {"create", path}}) {
    const ToolRun run = pak(args);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "pak: " + path + ": is read-only\n");
  }
  host_set_attributes(path.c_str(), HOST_ATTR_NORMAL);
  EXPECT_EQ(read_file_bytes(path), before);
}

TEST_F(EditCompact, CompactPacksTheLiveMembers) {
  const std::string path = put("c.pak", pak_fixture_bytes(four_members()));
  ASSERT_EQ(pak({"delete", path, "b.txt"}).code, 0);
  const ToolRun run = pak({"compact", path});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::vector<SeenEntry> seen = entries_of(path);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].name, "A.TXT");
  EXPECT_EQ(seen[0].offset, 24);
  EXPECT_EQ(seen[1].name, "sub\\c.txt");
  EXPECT_EQ(seen[1].offset, 24 + seen[0].size);
  EXPECT_EQ(unpacked(seen[1].stored), std::string(70000, 'c'));
  EXPECT_FALSE(exists_on_disk(file("c.BAK"))) << "the tool keeps no backup: it renames once done";
  EXPECT_TRUE(leftovers().empty());
}

void EditCompact::fail_each(const std::string& path, const std::vector<std::string>& args,
                            HostOp op, bool shortWrite) {
  const Bytes before = read_file_bytes(path);
  int calls = 0;
  {
    HostFaults count;
    ASSERT_EQ(pak(args).code, 0);
    calls = count.calls(op);
  }
  ASSERT_GT(calls, 0);
  for (int nth = 1; nth <= calls; ++nth) {
    SCOPED_TRACE("call #" + std::to_string(nth) + " of " + std::to_string(calls));
    ASSERT_TRUE(write_file_bytes(path, before));
    ToolRun run;
    {
      HostFaults injected;
      if (shortWrite) {
        injected.short_write(nth, 1);
      } else {
        injected.fail(op, nth);
      }
      run = pak(args);
    }
    EXPECT_FALSE(entries_of(path).empty()) << "still reads";
    EXPECT_EQ(g_archiveTop, 0);
    // A few reads need not succeed (the names of deleted entries, a length to trim by): a
    // seek failing there still gives a sound archive.
    if (run.code == 0 && op == HostOp::Seek) continue;
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err.rfind("pak: ", 0), 0u) << run.err;
    EXPECT_EQ(read_file_bytes(path), before);
  }
}

TEST_F(EditCompact, FailureAtAnyStepLeavesThePreviousArchive) {
  const std::string path = put("f.pak", pak_fixture_bytes(four_members()));
  put("new.bin", std::string(100000, 'n'));
  put("two.txt", "two");
  struct Command {
    const char* name;
    std::vector<std::string> args;
  };
  const Command commands[] = {
      {"add", {"add", path, file("new.bin"), file("two.txt")}},
      {"add stored", {"add", path, file("two.txt"), "--stored"}},
      {"delete", {"delete", path, "b.txt"}},
      {"rename", {"rename", path, "b.txt", "c.txt"}},
      {"compact", {"compact", path}},
  };
  struct Fault {
    const char* name;
    HostOp op;
    bool shortWrite;
  };
  const Fault faults[] = {{"write", HostOp::Write, false},
                          {"short write", HostOp::Write, true},
                          {"create", HostOp::Create, false},
                          {"seek", HostOp::Seek, false}};
  for (const Command& c : commands) {
    for (const Fault& f : faults) {
      SCOPED_TRACE(std::string(c.name) + ", failed " + f.name);
      fail_each(path, c.args, f.op, f.shortWrite);
      EXPECT_TRUE(leftovers().empty()) << testing::PrintToString(leftovers());
    }
  }
}

}  // namespace
