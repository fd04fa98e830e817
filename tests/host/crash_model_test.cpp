// The power-cut model's rules on small recordings: which disk states it yields for unflushed
// data (torn in blocks, zeros past the flushed length, any version of a rewritten block),
// unflushed names (lost latest first), a replace that flushes its folder, hard links sharing
// data, and sampling once a cut has more states than the budget.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "support/crash_model.h"

namespace {

using crash_model::Bytes;
using crash_model::Disk;
using recording_host::Call;
using recording_host::Change;

const size_t B = crash_model::RULES.block;

Change call(Call c, const std::string& path, const std::string& to = {}, HostHandle h = -1) {
  Change change;
  change.call = c;
  change.path = path;
  change.to = to;
  change.handle = h;
  return change;
}
Change create(const std::string& path, HostHandle h) {
  Change c = call(Call::Create, path, {}, h);
  c.flags = HOST_CREATE_NEW;
  return c;
}
Change write(HostHandle h, size_t offset, const Bytes& bytes) {
  Change c = call(Call::Write, {}, {}, h);
  c.offset = int64_t(offset);
  c.bytes = bytes;
  return c;
}
Change flush(HostHandle h) { return call(Call::Flush, {}, {}, h); }

std::set<Disk> states_of(const Disk& before, const std::vector<Change>& changes,
                         size_t perCut = 1000) {
  std::set<Disk> states;
  crash_model::explore(before, changes, crash_model::Budget{perCut, false},
                       [&](const Disk& state, size_t) { states.insert(state); });
  return states;
}

Bytes filled(size_t n, uint8_t v) { return Bytes(n, v); }
Bytes joined(const Bytes& a, const Bytes& b) {
  Bytes out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

TEST(CrashModel, UnflushedDataIsTornInBlocksOrZeroPastTheFlushedLength) {
  const Bytes data = joined(filled(B, 1), filled(B, 2));
  const std::set<Disk> states = states_of({}, {create("d/f", 7), write(7, 0, data)});
  const Bytes zero = filled(B, 0);
  const std::set<Disk> expected = {
      {},                                        // the name not yet on disk
      {{"d/f", {}}},                             // the name, none of the data
      {{"d/f", joined(zero, zero)}},             // the length, none of the blocks
      {{"d/f", joined(filled(B, 1), zero)}},
      {{"d/f", joined(zero, filled(B, 2))}},
      {{"d/f", data}},
  };
  EXPECT_EQ(states, expected);
}

TEST(CrashModel, ABlockRewrittenSinceItsFlushHoldsAnyOfItsVersions) {
  const Disk before = {{"d/f", filled(10, 1)}};
  const std::set<Disk> states = states_of(before, {call(Call::Open, "d/f", {}, 7),
                                                   write(7, 0, filled(4, 2)),
                                                   write(7, 0, filled(2, 3))});
  Bytes first = filled(10, 1), second;
  std::fill(first.begin(), first.begin() + 4, 2);
  second = first;
  std::fill(second.begin(), second.begin() + 2, 3);
  EXPECT_EQ(states, (std::set<Disk>{before, {{"d/f", first}}, {{"d/f", second}}}));
}

TEST(CrashModel, NamesAreLostLatestFirstUntilAReplaceFlushesTheFolder) {
  const std::vector<Change> changes = {create("d/a", 7), create("d/b", 8), flush(7), flush(8),
                                       call(Call::Remove, "d/old")};
  const Disk before = {{"d/old", filled(3, 9)}};
  const std::set<Disk> states = states_of(before, changes);
  const std::set<Disk> expected = {before,
                                   {{"d/old", filled(3, 9)}, {"d/a", {}}},
                                   {{"d/old", filled(3, 9)}, {"d/a", {}}, {"d/b", {}}},
                                   {{"d/a", {}}, {"d/b", {}}}};
  EXPECT_EQ(states, expected) << "b never without a, old never gone before b came";

  // Once a replace in the folder is done, nothing before it is lost any more.
  std::vector<Change> replaced = {create("d/tmp", 7), write(7, 0, filled(5, 4)), flush(7),
                                  call(Call::Replace, "d/tmp", "d/old")};
  const std::set<Disk> after = states_of(before, replaced);
  EXPECT_EQ(after.count({{"d/old", filled(5, 4)}}), 1u);
  replaced.push_back(call(Call::SyncFolder, "d"));
  size_t last = 0;
  crash_model::explore(before, replaced, crash_model::Budget{1000, false},
                       [&](const Disk&, size_t cut) { last = cut; });
  EXPECT_EQ(last, 4u) << "the replace's own cut is the last with a new state";
}

TEST(CrashModel, AHardLinkSharesTheFilesData) {
  const Disk before = {{"d/f", filled(3, 1)}};
  const std::set<Disk> states = states_of(
      before, {call(Call::Link, "d/f", "d/g"), call(Call::Open, "d/f", {}, 7), write(7, 0, filled(3, 2))});
  for (const Disk& s : states) {
    if (s.count("d/g") != 0) {
      EXPECT_EQ(s.at("d/g"), s.at("d/f"));
    }
  }
  EXPECT_EQ(states.size(), 4u);  // without or with g, each with old or new data
}

TEST(CrashModel, ACutWithMoreStatesThanTheBudgetIsSampled) {
  Bytes data(8 * B);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(1 + i / B);
  const std::vector<Change> changes = {create("d/f", 7), write(7, 0, data)};
  std::vector<Disk> order;
  const crash_model::Tally tally = crash_model::explore({}, changes, crash_model::Budget{20, false},
                               [&](const Disk& s, size_t) { order.push_back(s); });
  EXPECT_EQ(tally.sampledCuts, 1u);
  ASSERT_GE(order.size(), 4u);
  EXPECT_EQ(order.size(), tally.states);
  EXPECT_EQ(order.back().count("d/f"), 1u);
  // The sampled cut tries the state the program saw.
  const auto full = std::find(order.begin(), order.end(), Disk{{"d/f", data}});
  ASSERT_NE(full, order.end());
  EXPECT_EQ(tally.states, states_of({}, changes, 20).size());  // a fixed seed: the same again
  EXPECT_EQ(states_of({}, changes).size(), 2u + 256u);          // all of them: 2 + 2^8
}

}  // namespace
