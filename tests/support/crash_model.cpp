// The crash model's replay and enumeration: the recorded changes are replayed onto files that
// remember their flushed content and each content since, and folders that remember their
// flushed names and each name change since; at every cut the choices the rules leave (how many
// of each folder's name changes survive, each file's length and each of its blocks) are tried
// all, or sampled when there are more than the budget.
#include "support/crash_model.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <sstream>
#include <utility>

namespace crash_model {
namespace {

using recording_host::Call;
using recording_host::Change;

constexpr uint64_t kSeed = 0x5EEDC0DE2025ull;

std::string folder_of(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string without_trailing_separators(std::string folder) {
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

// One file's data, shared by all its names (rules 1 to 4).
struct FileData {
  Bytes flushed;
  std::vector<Bytes> since;  // its content after each change since the flush, oldest first

  const Bytes& now() const { return since.empty() ? flushed : since.back(); }
  void change(Bytes content) { since.push_back(std::move(content)); }
  void flush() {
    flushed = now();
    since.clear();
  }
};

// Names given (to a file) or taken away (file -1) together, by one call (rule 5).
using NameChange = std::vector<std::pair<std::string, int>>;
using Names = std::map<std::string, int>;

void apply(const NameChange& change, Names& names) {
  for (const auto& [name, file] : change) {
    if (file < 0) {
      names.erase(name);
    } else {
      names[name] = file;
    }
  }
}

struct Folder {
  Names flushed;
  std::vector<NameChange> since;

  Names surviving(size_t kept) const {
    Names names = flushed;
    for (size_t i = 0; i < kept; ++i) apply(since[i], names);
    return names;
  }
  void flush() {
    flushed = surviving(since.size());
    since.clear();
  }
};

// The disk as the recording leaves it, changes replayed one at a time.
class Model {
 public:
  explicit Model(const Disk& before) {
    for (const auto& [name, bytes] : before) {
      const int file = new_file(bytes);
      names_[name] = file;
      folders_[folder_of(name)].flushed[name] = file;
    }
  }

  void replay(const Change& c) {
    switch (c.call) {
      case Call::Open:
        if (const int* file = file_named(c.path)) handles_[c.handle] = *file;
        break;
      case Call::Create:
        if (const int* file = file_named(c.path); file && (c.flags & HOST_CREATE_NEW) == 0) {
          files_[size_t(*file)].change({});  // an existing file is cut to nothing
          handles_[c.handle] = *file;
        } else {
          const int made = new_file({});
          name_change(c.path, {{c.path, made}});
          handles_[c.handle] = made;
        }
        break;
      case Call::Write:
        if (FileData* f = file_of(c.handle)) {
          Bytes content = f->now();
          const size_t end = size_t(c.offset) + c.bytes.size();
          if (content.size() < end) content.resize(end);
          std::copy(c.bytes.begin(), c.bytes.end(), content.begin() + c.offset);
          f->change(std::move(content));
        }
        break;
      case Call::Flush:
        if (FileData* f = file_of(c.handle)) f->flush();
        break;
      case Call::Sync:
        if (const int* file = file_named(c.path)) files_[size_t(*file)].flush();
        break;
      case Call::Truncate:
        if (const int* file = file_named(c.path)) {
          Bytes content = files_[size_t(*file)].now();
          content.resize(size_t(c.offset));
          files_[size_t(*file)].change(std::move(content));
        }
        break;
      case Call::Replace:
      case Call::Move:
        if (const int* file = file_named(c.path)) {
          const int moved = *file;
          if (folder_of(c.path) == folder_of(c.to)) {
            name_change(c.to, {{c.to, moved}, {c.path, -1}});
          } else {
            name_change(c.to, {{c.to, moved}});
            name_change(c.path, {{c.path, -1}});
          }
          if (c.call == Call::Replace && RULES.replaceFlushesFolder) {
            folders_[folder_of(c.to)].flush();
          }
        }
        break;
      case Call::Link:
        if (const int* file = file_named(c.path)) name_change(c.to, {{c.to, *file}});
        break;
      case Call::Remove:
        name_change(c.path, {{c.path, -1}});
        break;
      case Call::SyncFolder:
        if (RULES.folderSyncFlushes) folders_[without_trailing_separators(c.path)].flush();
        break;
      case Call::SetAttributes:
      case Call::CarryPermissions:
      case Call::MakeDir:
      case Call::RemoveDir:
        break;  // rule 7
    }
  }

  const std::vector<FileData>& files() const { return files_; }
  const std::map<std::string, Folder>& folders() const { return folders_; }

 private:
  int new_file(Bytes flushed) {
    files_.push_back(FileData{std::move(flushed), {}});
    return int(files_.size() - 1);
  }
  const int* file_named(const std::string& path) const {
    const auto it = names_.find(path);
    return it == names_.end() ? nullptr : &it->second;
  }
  FileData* file_of(HostHandle handle) {
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : &files_[size_t(it->second)];
  }
  void name_change(const std::string& path, const NameChange& change) {
    apply(change, names_);
    folders_[folder_of(path)].since.push_back(change);
  }

  std::vector<FileData> files_;
  std::map<std::string, Folder> folders_;
  Names names_;  // as the running program sees them
  std::map<HostHandle, int> handles_;
};

uint64_t times(uint64_t a, uint64_t b) {
  if (a != 0 && b > UINT64_MAX / a) return UINT64_MAX;
  return a * b;
}

uint64_t plus(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// The contents one file may hold after the cut (rules 2 to 4): one of its lengths, and for
// each block that differs between its versions, one of that block's versions. Digit 0 of each
// choice is the file as flushed.
class FileChoices {
 public:
  explicit FileChoices(const FileData& f) {
    lengths_.push_back(f.flushed.size());
    for (const Bytes& v : f.since) add(lengths_, v.size());
    now_.push_back(index_of(lengths_, f.now().size()));

    const size_t longest = *std::max_element(lengths_.begin(), lengths_.end());
    base_.assign(longest, 0);
    for (size_t b = 0; b * RULES.block < longest; ++b) {
      Varying v{b, {block_of(f.flushed, b)}};
      for (const Bytes& version : f.since) add(v.versions, block_of(version, b));
      if (v.versions.size() == 1) {
        place(b, v.versions.front());
        continue;
      }
      now_.push_back(index_of(v.versions, block_of(f.now(), b)));
      varying_.push_back(std::move(v));
    }
  }

  uint64_t count() const {
    uint64_t n = lengths_.size();
    for (const Varying& v : varying_) n = times(n, v.versions.size());
    return n;
  }
  // Digits: the length's, then each varying block's.
  std::vector<size_t> radices() const {
    std::vector<size_t> r{lengths_.size()};
    for (const Varying& v : varying_) r.push_back(v.versions.size());
    return r;
  }
  // The digits of the file as the program saw it.
  const std::vector<size_t>& now() const { return now_; }
  Bytes content(const size_t* digits) {
    for (size_t i = 0; i < varying_.size(); ++i) {
      place(varying_[i].block, varying_[i].versions[digits[1 + i]]);
    }
    return Bytes(base_.begin(), base_.begin() + std::ptrdiff_t(lengths_[digits[0]]));
  }

 private:
  struct Varying {
    size_t block;
    std::vector<Bytes> versions;
  };
  template <typename T>
  static void add(std::vector<T>& list, T item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(std::move(item));
  }
  template <typename T>
  static size_t index_of(const std::vector<T>& list, const T& item) {
    return size_t(std::find(list.begin(), list.end(), item) - list.begin());
  }
  // A block of a content, zeros past its end (rule 3).
  static Bytes block_of(const Bytes& content, size_t b) {
    Bytes out(RULES.block, 0);
    const size_t from = b * RULES.block;
    if (from < content.size()) {
      std::memcpy(out.data(), content.data() + from, std::min(RULES.block, content.size() - from));
    }
    return out;
  }
  void place(size_t b, const Bytes& bytes) {
    const size_t from = b * RULES.block;
    std::memcpy(base_.data() + from, bytes.data(), std::min(RULES.block, base_.size() - from));
  }

  std::vector<size_t> lengths_;
  std::vector<Varying> varying_;
  std::vector<size_t> now_;
  Bytes base_;  // the longest length, with the blocks that never vary in place
};

// The choices at one cut: for each folder with unflushed name changes how many survive (outer
// digits), then for each file the surviving names lead to, its content (inner digits).
class Cut {
 public:
  explicit Cut(const Model& model) : model_(model) {
    for (const auto& [name, folder] : model.folders()) {
      outerRadices_.push_back(folder.since.size() + 1);
    }
    std::vector<size_t> outer(outerRadices_.size(), 0);
    do {
      uint64_t n = 1;
      for (int file : lay_out(outer).files) n = times(n, choices_of(file).count());
      total_ = plus(total_, n);
    } while (next(outer, outerRadices_));
  }

  uint64_t count() const { return total_; }

  // Every state, in order.
  template <typename Visit>
  void each(Visit visit) {
    std::vector<size_t> outer(outerRadices_.size(), 0);
    do {
      const Layout layout = lay_out(outer);
      std::vector<size_t> inner(layout.radices.size(), 0);
      do {
        visit(state(layout, inner));
      } while (next(inner, layout.radices));
    } while (next(outer, outerRadices_));
  }

  // The state with nothing since the last flushes, the state as the program saw it, and then
  // random ones, until n of them were new to visit (which says whether each was) or 8 n were
  // drawn.
  template <typename Visit>
  void sample(size_t n, std::mt19937_64& random, Visit visit) {
    const std::vector<size_t> none(outerRadices_.size(), 0);
    const Layout earliest = lay_out(none);
    visit(state(earliest, std::vector<size_t>(earliest.radices.size(), 0)));
    std::vector<size_t> all;
    for (size_t r : outerRadices_) all.push_back(r - 1);
    const Layout latest = lay_out(all);
    std::vector<size_t> now;
    for (int file : latest.files) {
      const std::vector<size_t>& digits = choices_of(file).now();
      now.insert(now.end(), digits.begin(), digits.end());
    }
    visit(state(latest, now));
    size_t fresh = 2;
    for (size_t drawn = 2; fresh < n && drawn < 8 * n; ++drawn) {
      std::vector<size_t> outer;
      for (size_t r : outerRadices_) outer.push_back(random() % r);
      const Layout layout = lay_out(outer);
      std::vector<size_t> inner;
      for (size_t r : layout.radices) inner.push_back(random() % r);
      if (visit(state(layout, inner))) ++fresh;
    }
  }

 private:
  struct Layout {
    Names names;               // every surviving name
    std::vector<int> files;    // the files they lead to that changed since their flush
    std::vector<size_t> firstDigit;  // where each of those files' digits start
    std::vector<size_t> radices;
  };

  FileChoices& choices_of(int file) {
    auto it = choices_.find(file);
    if (it == choices_.end()) it = choices_.emplace(file, FileChoices(model_.files()[size_t(file)])).first;
    return it->second;
  }

  Layout lay_out(const std::vector<size_t>& outer) {
    Layout layout;
    size_t i = 0;
    for (const auto& [name, folder] : model_.folders()) {
      const Names kept = folder.surviving(outer[i++]);
      layout.names.insert(kept.begin(), kept.end());
    }
    for (const auto& [name, file] : layout.names) {
      if (model_.files()[size_t(file)].since.empty()) continue;
      if (std::find(layout.files.begin(), layout.files.end(), file) != layout.files.end()) continue;
      layout.files.push_back(file);
      layout.firstDigit.push_back(layout.radices.size());
      for (size_t r : choices_of(file).radices()) layout.radices.push_back(r);
    }
    return layout;
  }

  Disk state(const Layout& layout, const std::vector<size_t>& inner) {
    std::map<int, Bytes> contents;
    for (size_t k = 0; k < layout.files.size(); ++k) {
      const int file = layout.files[k];
      contents[file] = choices_of(file).content(&inner[layout.firstDigit[k]]);
    }
    Disk disk;
    for (const auto& [name, file] : layout.names) {
      const auto changed = contents.find(file);
      disk[name] = changed != contents.end() ? changed->second : model_.files()[size_t(file)].flushed;
    }
    return disk;
  }

  // The next number in mixed radix; false after the last.
  static bool next(std::vector<size_t>& digits, const std::vector<size_t>& radices) {
    for (size_t i = 0; i < digits.size(); ++i) {
      if (++digits[i] < radices[i]) return true;
      digits[i] = 0;
    }
    return false;
  }

  const Model& model_;
  std::vector<size_t> outerRadices_;  // one per folder: its unflushed name changes, plus one
  std::map<int, FileChoices> choices_;
  uint64_t total_ = 0;
};

uint64_t fingerprint(const Disk& disk) {
  uint64_t h = 0xcbf29ce484222325ull;
  const auto mix = [&h](const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
  };
  for (const auto& [name, bytes] : disk) {
    mix(name.data(), name.size() + 1);
    const uint64_t size = bytes.size();
    mix(&size, sizeof size);
    mix(bytes.data(), bytes.size());
  }
  return h;
}

}  // namespace

Budget budget_from_environment(size_t perCut) {
  const char* exhaustive = std::getenv("VELMOR_CRASH_EXHAUSTIVE");
  if (exhaustive != nullptr && *exhaustive != '\0' && std::strcmp(exhaustive, "0") != 0) {
    return Budget{EXHAUSTIVE_CEILING, true};
  }
  return Budget{perCut, false};
}

Tally explore(const Disk& before, const std::vector<Change>& changes, const Budget& budget,
              const Check& check) {
  Tally tally;
  size_t cut = 0;
  std::set<uint64_t> seen;
  std::mt19937_64 random(kSeed);
  const auto visit = [&](const Disk& disk) {
    if (!seen.insert(fingerprint(disk)).second) return false;
    ++tally.states;
    check(disk, cut);
    return true;
  };
  Model model(before);
  for (; cut <= changes.size(); ++cut) {
    if (cut > 0) model.replay(changes[cut - 1]);
    ++tally.cuts;
    Cut states(model);
    if (states.count() <= budget.perCut) {
      states.each(visit);
    } else {
      ++tally.sampledCuts;
      states.sample(budget.perCut, random, visit);
    }
  }
  return tally;
}

std::string report(const std::string& workload, const Tally& tally, const Budget& budget) {
  std::ostringstream line;
  line << "[power cut] " << workload << ": " << tally.cuts << " cuts, " << tally.states
       << " distinct disk states tried";
  if (tally.sampledCuts == 0) {
    line << ", every state of every cut";
  } else {
    line << "; " << tally.sampledCuts << " cuts had more than " << budget.perCut
         << " states and were sampled (fixed seed)";
    if (!budget.exhaustive) line << "; VELMOR_CRASH_EXHAUSTIVE=1 tries them all";
  }
  return line.str();
}

}  // namespace crash_model
