// pak delete and pak rename: directory changes made on a working copy of the archive; the
// member bytes stay where they are until the archive is compacted.
#include "tools/pak/archive_change.h"
#include "tools/pak/member_edit.h"
#include "tools/pak/name_codec.h"
#include "tools/pak/pak_commands.h"

namespace {

// Converts a name typed by the user; reports and returns false when it has no archive form or
// cannot be a member name.
bool archive_name(const NameCodec& codec, const std::string& typed, const std::string& archive,
                  std::string* name, ToolIo& io) {
  if (!codec.to_archive(typed, name)) {
    return fail(io, archive, "\"" + typed + "\" has no code page 950 form");
  }
  if (const char* problem = member_name_problem(*name)) {
    return fail(io, archive, "\"" + typed + "\": " + problem);
  }
  return true;
}

}  // namespace

int run_delete(const DeleteOptions& options, ToolIo& io) {
  if (options.names.empty()) return usage(io, "delete needs at least one NAME");
  const NameCodec codec(options.rawNames);
  std::vector<std::string> names(options.names.size());
  for (size_t k = 0; k < names.size(); ++k) {
    if (!archive_name(codec, options.names[k], options.archive, &names[k], io)) {
      return PAK_EXIT_FAILED;
    }
  }
  ArchiveChange change;
  if (!change.begin(options.archive, io)) return PAK_EXIT_FAILED;
  for (size_t k = 0; k < names.size(); ++k) {
    if (delete_live_members(change.slot(), names[k]) == 0) {
      return report(io, options.archive, "no member named \"" + options.names[k] + "\"");
    }
  }
  return change.commit(io) ? PAK_EXIT_OK : PAK_EXIT_FAILED;
}

int run_rename(const RenameOptions& options, ToolIo& io) {
  const NameCodec codec(options.rawNames);
  std::string oldName, newName;
  if (!archive_name(codec, options.oldName, options.archive, &oldName, io) ||
      !archive_name(codec, options.newName, options.archive, &newName, io))
    return PAK_EXIT_FAILED;
  ArchiveChange change;
  if (!change.begin(options.archive, io)) return PAK_EXIT_FAILED;
  const PakArchive& a = g_archives[change.slot()];
  const int32_t entry = find_live_member(a, oldName);
  if (entry < 0) return report(io, options.archive, "no member named \"" + options.oldName + "\"");
  const int32_t taken = find_live_member(a, newName);
  if (taken >= 0 && taken != entry) {
    return report(io, options.archive, "a member named \"" + options.newName + "\" exists already");
  }
  rename_member(change.slot(), entry, newName);
  return change.commit(io) ? PAK_EXIT_OK : PAK_EXIT_FAILED;
}
