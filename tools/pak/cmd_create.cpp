// pak create: a new empty archive with its mount letters, user value and directory form, made
// beside its place and renamed there only when complete.
#include "archive/pak_format.h"
#include "tools/pak/archive_change.h"
#include "tools/pak/pak_commands.h"

int run_create(const CreateOptions& options, ToolIo& io) {
  const std::string& letters = options.letters;
  if (letters.empty() || letters.size() > 2) {
    return usage(io, "--letters takes one mount letter, or two: the first and last of a range");
  }
  for (const char c : letters) {
    if (c < '!' || c > '~') return usage(io, "mount letters are printable ASCII characters");
  }
  const int first = static_cast<unsigned char>(letters.front());
  const int last = static_cast<unsigned char>(letters.back());
  if (first > last) return usage(io, "--letters: the first letter must not come after the last");
  if (pak_path_is_executable(options.archive.c_str())) {
    return report(io, options.archive,
                  "an executable's name would be read through its locator: name the archive "
                  "otherwise (build-updater makes executables)");
  }
  ArchiveChange change;
  const bool made = may_change(options.archive, io) &&
                    change.begin_new(options.archive, first, last, options.userValue,
                                     !options.plainDirectory, io) &&
                    change.commit(io);
  return made ? PAK_EXIT_OK : PAK_EXIT_FAILED;
}
