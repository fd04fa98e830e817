// pak add: files become members (packed records unless stored), replacing live members of the
// same names; names converted to code page 950 and checked before anything changes.
#include "tools/pak/add_pipeline.h"
#include "tools/pak/archive_change.h"
#include "tools/pak/disk_path.h"
#include "tools/pak/member_edit.h"
#include "tools/pak/name_codec.h"
#include "tools/pak/pak_commands.h"

int run_add(const AddOptions& options, ToolIo& io) {
  if (options.files.empty()) return usage(io, "add needs at least one FILE");
  if (!options.as.empty() && options.files.size() != 1) {
    return usage(io, "--as names one member: give exactly one FILE with it");
  }
  if (options.level < -1 || options.level > 9) return usage(io, "--level is 0 to 9");

  const NameCodec codec(options.rawNames);
  std::vector<AddItem> items;
  for (const std::string& file : options.files) {
    const std::string shown = options.as.empty() ? disk_file_part(file) : options.as;
    std::string name;
    if (!codec.to_archive(shown, &name)) {
      return report(io, options.archive,
                    "\"" + shown + "\" has no code page 950 form (--raw-names stores the bytes "
                    "as given)");
    }
    if (const char* problem = member_name_problem(name)) {
      return report(io, options.archive, "\"" + shown + "\": " + problem);
    }
    items.push_back(AddItem{file, name, shown});
  }

  ArchiveChange change;
  const AddSettings settings{options.stored, options.level, options.threads};
  const bool added = change.begin(options.archive, io) &&
                     add_items(change.slot(), items, settings, options.archive, io) &&
                     change.commit(io);
  return added ? PAK_EXIT_OK : PAK_EXIT_FAILED;
}
