// pak extract and pak cat: members unpacked (or as stored) into files below a folder, refusing
// names that would land outside it, or one member to standard output.
#include <algorithm>
#include <atomic>

#include "tools/pak/archive_reader.h"
#include "tools/pak/buffer_pool.h"
#include "tools/pak/extract_path.h"
#include "tools/pak/member_edit.h"
#include "tools/pak/member_record.h"
#include "tools/pak/member_stream.h"
#include "tools/pak/name_codec.h"
#include "tools/pak/ordered_pipeline.h"
#include "tools/pak/pak_commands.h"
#include "tools/pak/progress.h"
#include "tools/pak/read_window.h"
#include "vfs/mount_path.h"

namespace {

// Stored bytes read ahead of the member being written.
constexpr int64_t kReadAheadBudget = int64_t(256) << 20;

// Files made ahead of their turn and not yet closed, at most.
constexpr int kMostMadeEarly = 256;

bool is_folder(const std::string& path) {
  const uint32_t attributes = host_get_attributes(path.c_str());
  return attributes != HOST_NO_SUCH_FILE && (attributes & HOST_ATTR_DIRECTORY) != 0;
}

// Makes the folder if it is not there yet.
bool ensure_folder(const std::string& path) {
  if (host_get_attributes(path.c_str()) == HOST_NO_SUCH_FILE) host_make_dir(path.c_str());
  return is_folder(path);
}

// Writes all of data to a new file and closes it; false when either failed.
bool write_and_close(HostHandle file, const Bytes& data) {
  bool ok = data.empty() || host_write(file, data.data(), int32_t(data.size())) ==
                                int32_t(data.size());
  return host_close(file) == 0 && ok;
}

// Writes the whole file; a file that could not be written whole is removed.
bool write_whole_file(const std::string& path, const Bytes& data) {
  const HostHandle file = host_create(path.c_str(), 0);
  if (file == HOST_INVALID_HANDLE) return false;
  const bool ok = write_and_close(file, data);
  if (!ok) host_delete(path.c_str());
  return ok;
}

using Content = ArchiveReader::Content;

bool write_file_part(void* context, const void* data, int32_t count) {
  return host_write(*static_cast<HostHandle*>(context), data, count) == count;
}

bool write_stream_part(void* context, const void* data, int32_t count) {
  auto* out = static_cast<std::ostream*>(context);
  out->write(static_cast<const char*>(data), count);
  return bool(*out);
}

// Streams a member into a new file; a file that could not be written whole is removed.
StreamResult stream_to_file(const ArchiveReader& reader, int32_t entry, bool stored,
                            const std::string& path, Progress* progress) {
  HostHandle file = host_create(path.c_str(), 0);
  if (file == HOST_INVALID_HANDLE) return StreamResult::Refused;
  StreamResult got = stream_member(reader, entry, stored, ByteSink{write_file_part, &file}, progress);
  if (host_close(file) != 0 && got == StreamResult::Ok) got = StreamResult::Refused;
  if (got != StreamResult::Ok) host_delete(path.c_str());
  return got;
}

Content content_of(StreamResult got) {
  return got == StreamResult::Unreadable ? Content::Unreadable : Content::Damaged;
}

const char* content_problem(Content got) {
  return got == Content::Damaged ? "its packed record is damaged"
                                 : "lies outside the archive's file";
}

// One member to extract: where it goes (relative to the folder, '/' between parts), or the
// message that says why it does not; its bytes while it is on its way.
struct Extraction {
  int32_t entry = 0;
  std::string shown;
  std::string path;
  std::string problem;
  Content got = Content::Ok;
  bool streamed = false;  // too large to hold: read, unpacked and written in chunks at its turn
  Bytes stored;
  Bytes content;
  // A new file made for it at its read, written and closed by its work; written tells how that
  // went. Without one, the file is made and written at its turn.
  HostHandle early = HOST_INVALID_HANDLE;
  bool written = false;
};

Extraction plan(const ArchiveReader& reader, int32_t entry, const NameCodec& codec) {
  Extraction x;
  x.entry = entry;
  const std::string stored = reader.name(entry);
  x.shown = codec.shown(stored);
  std::string text;
  std::vector<std::string> parts;
  std::string problem;
  if (!codec.to_terminal(stored, &text)) {
    x.problem = "\"" + x.shown +
                "\" has no file name in the terminal's encoding (--raw-names keeps the bytes)";
  } else if (!member_output_parts(text, &parts, &problem)) {
    x.problem = "\"" + x.shown + "\" " + problem + ": not extracted";
  } else {
    for (const std::string& part : parts) x.path += (x.path.empty() ? "" : "/") + part;
  }
  return x;
}

// Makes the folders a relative path needs below the target folder.
bool make_folders(const std::string& folder, const std::string& path) {
  for (size_t slash = path.find('/'); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (!ensure_folder(folder + path.substr(0, slash))) return false;
  }
  return true;
}

}  // namespace

int run_extract(const ExtractOptions& options, ToolIo& io) {
  ArchiveReader reader;
  if (!reader.open(options.archive, io)) return PAK_EXIT_FAILED;
  const NameCodec codec(options.rawNames);
  std::vector<std::string> patterns;
  for (const std::string& p : options.patterns) {
    std::string pattern;
    if (!codec.to_archive(p, &pattern)) {
      return report(io, options.archive, "the pattern \"" + p + "\" has no code page 950 form");
    }
    patterns.push_back(pattern);
  }
  std::string folder = options.directory.empty() ? "." : options.directory;
  if (!ensure_folder(folder)) return report(io, folder, "is not a folder and cannot be made one");
  if (folder.back() != '/' && folder.back() != '\\') folder += '/';

  // The members chosen, in directory order, each with where it goes or why it does not.
  std::vector<Extraction> chosen;
  std::vector<bool> used(patterns.size(), false);
  for (int32_t i = 0; i < reader.count(); ++i) {
    const PakEntry& e = reader.entry(i);
    if (e.offset == 0) continue;
    bool match = patterns.empty();
    for (size_t p = 0; p < patterns.size(); ++p) {
      if (match_wildcard_name(patterns[p].c_str(), e.name, int(PAK_NAME_SIZE)) == 0) {
        used[p] = true;
        match = true;
      }
    }
    if (match) {
      chosen.push_back(plan(reader, i, codec));
      chosen.back().streamed = member_streams(reader, i);
    }
  }

  int result = PAK_EXIT_OK;
  std::vector<int64_t> sizes;
  std::vector<int64_t> held;  // bytes each holds in memory on its way: none when streamed
  int64_t total = 0;
  for (const Extraction& x : chosen) {
    sizes.push_back(reader.entry(x.entry).size);
    held.push_back(x.streamed ? 0 : sizes.back());
    total += sizes.back();
  }
  const unsigned threads = worker_threads(chosen.size(), options.threads);
  // Each member in flight holds at most two buffers (its stored bytes and its content).
  BufferPool pool(2 * (size_t(threads) + 1));
  ReadWindow window;
  Progress progress(io, "extracting", total);
  // A member held whole gets its file made (new, in order) at its read, so that writing and
  // closing it can go with its unpacking, off the calling thread. Where that cannot be done
  // (a file or folder in the way, the same name met again, too many open), it is made at its
  // turn as a streamed one is.
  std::atomic<int> openEarly{0};
  const auto make_early = [&](Extraction& x) {
    if (openEarly.load() >= kMostMadeEarly || !make_folders(folder, x.path)) return;
    x.early = host_create((folder + x.path).c_str(), HOST_CREATE_NEW);
    if (x.early != HOST_INVALID_HANDLE) ++openEarly;
  };
  OrderedSteps steps;
  steps.read = [&](size_t k) {
    Extraction& x = chosen[k];
    if (!x.problem.empty() || x.streamed) return true;
    x.stored = pool.take(size_t(std::max<int64_t>(sizes[k], 0)));  // a damaged entry's may be < 0
    if (!window.read_stored(reader, x.entry, &x.stored)) x.got = Content::Unreadable;
    if (x.got == Content::Ok) make_early(x);
    return true;
  };
  steps.work = [&](size_t k) {
    Extraction& x = chosen[k];
    if (!x.problem.empty() || x.got != Content::Ok || x.streamed) return;
    if (options.stored) {
      x.content = std::move(x.stored);
    } else {
      // Room for the content its head announces, only when the head can be sound: a damaged
      // one may announce gigabytes.
      PakMemberRecord head{};
      x.content = pool.take(plausible_record_head(x.stored, &head) ? head.unpackedSize : 0);
      if (!member_content(x.stored, &x.content)) x.got = Content::Damaged;
    }
    pool.give(std::move(x.stored));
    if (x.early != HOST_INVALID_HANDLE) {
      if (x.got == Content::Ok) {
        x.written = write_and_close(x.early, x.content);
      } else {
        host_close(x.early);
      }
      --openEarly;
      pool.give(std::move(x.content));
    }
  };
  steps.write = [&](size_t k) {
    Extraction& x = chosen[k];
    const std::string path = folder + x.path;
    if (x.early != HOST_INVALID_HANDLE && (x.got != Content::Ok || !x.written)) {
      host_delete(path.c_str());  // made new for it: nothing that was there is lost
    }
    if (!x.problem.empty()) {
      result = report(io, options.archive, x.problem);
    } else if (x.got != Content::Ok) {
      result = report(io, options.archive, "\"" + x.shown + "\": " + content_problem(x.got));
    } else if (x.early != HOST_INVALID_HANDLE) {
      if (!x.written) result = report(io, path, "cannot be written");
    } else if (!make_folders(folder, x.path)) {
      result = report(io, path, "its folder cannot be made");
    } else if (x.streamed) {
      const StreamResult got = stream_to_file(reader, x.entry, options.stored, path, &progress);
      if (got == StreamResult::Refused) {
        result = report(io, path, "cannot be written");
      } else if (got != StreamResult::Ok) {
        result = report(io, options.archive, "\"" + x.shown + "\": " + content_problem(content_of(got)));
      }
      return true;
    } else if (!write_whole_file(path, x.content)) {
      result = report(io, path, "cannot be written");
    }
    pool.give(std::move(x.content));
    progress.advance(sizes[k]);
    return true;
  };
  run_ordered(held, threads, kReadAheadBudget, steps);

  for (size_t p = 0; p < patterns.size(); ++p) {
    if (!used[p]) {
      result = report(io, options.archive, "no member matches \"" + options.patterns[p] + "\"");
    }
  }
  return result;
}

int run_cat(const CatOptions& options, ToolIo& io) {
  ArchiveReader reader;
  if (!reader.open(options.archive, io)) return PAK_EXIT_FAILED;
  const NameCodec codec(options.rawNames);
  std::string name;
  if (!codec.to_archive(options.name, &name)) {
    return report(io, options.archive, "\"" + options.name + "\" has no code page 950 form");
  }
  const int32_t i = find_live_member(reader.archive(), name);
  if (i < 0) return report(io, options.archive, "no member named \"" + options.name + "\"");
  if (member_streams(reader, i)) {
    // Too large to hold: written as it is unpacked (a damaged record stops it part way).
    Progress progress(io, "writing", reader.entry(i).size);
    const StreamResult got =
        stream_member(reader, i, false, ByteSink{write_stream_part, &io.out}, &progress);
    io.out.flush();
    if (got == StreamResult::Refused || !io.out) {
      return report(io, options.archive, "standard output cannot be written");
    }
    if (got != StreamResult::Ok) {
      return report(io, options.archive, "\"" + options.name + "\": " + content_problem(content_of(got)));
    }
    return PAK_EXIT_OK;
  }
  Bytes data;
  const Content got = reader.read_content(i, &data);
  if (got != Content::Ok) {
    return report(io, options.archive, "\"" + options.name + "\": " + content_problem(got));
  }
  io.out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
  io.out.flush();
  if (!io.out) return report(io, options.archive, "standard output cannot be written");
  return PAK_EXIT_OK;
}
