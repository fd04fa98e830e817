// The pak command line: subcommands and options through CLI11, each mapped onto its command
// function. Usage mistakes exit with 2 and one line; --help works on every command.
#include <CLI/CLI.hpp>

#include <new>

#include "tools/pak/codec_choice.h"
#include "tools/pak/file_ops.h"
#include "host/path.h"
#include "tools/pak/pak_commands.h"

namespace {

constexpr const char* kVersionLine = "pak 1.1\n";

// The archive option every command but info and build-updater takes first.
void archive_argument(CLI::App* command, std::string* archive) {
  command->add_option("ARCHIVE", *archive, "the archive (a stand-alone file, or an .exe that "
                                           "carries one: read-only then)")
      ->required();
}

}  // namespace

int pak_main(int argc, const char* const* argv, ToolIo& io) {
  use_utf8_paths();
  // Member names are code page 950 whatever the paths are: matched and folded by its characters.
  path_set_names_code_page(950);
  CLI::App app{"Makes, inspects and changes PAK archives, and builds updaters that carry one."};
  app.name("pak");
  // Options are "-x" and "--name" on every platform; an argument that begins with '/' is a path
  // (a path from the drive's root on Windows, any Unix path under Wine), never an option.
  // Subcommands take this setting from the app when they are added.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version",
                       [] { return std::string(kVersionLine) + codec_summary(); });
  app.require_subcommand(1);
  app.fallthrough();
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return std::string("pak: usage: ") + e.what() + " (see pak --help)\n";
  });
  bool rawNames = false;
  app.add_flag("--raw-names", rawNames,
               "member names pass through as bytes, not converted between code page 950 and "
               "the terminal's encoding");

  CreateOptions create;
  CLI::App* createCommand = app.add_subcommand("create", "make a new empty archive");
  archive_argument(createCommand, &create.archive);
  createCommand->add_option("--letters", create.letters,
                            "mount letter C, or range CD (first and last); default #");
  createCommand->add_option("--user-value", create.userValue,
                            "32-bit value kept in the header (decimal or 0x hex); default 0");
  createCommand->add_flag("--plain-directory", create.plainDirectory,
                          "store the directory uncompressed");

  AddOptions add;
  CLI::App* addCommand = app.add_subcommand("add", "add files as members (packed records)");
  archive_argument(addCommand, &add.archive);
  addCommand->add_option("FILE", add.files, "files to add, in this order")->required();
  CLI::Option* asOption =
      addCommand->add_option("--as", add.as, "member name for the one FILE (default: its name)");
  CLI::Option* storedOption =
      addCommand->add_flag("--stored", add.stored, "store the bytes as they are, not packed");
  addCommand->add_option("--level", add.level, "compression level 0 to 9 (default: zlib's)")
      ->check(CLI::Range(0, 9))
      ->excludes(storedOption);

  ListOptions list;
  CLI::App* listCommand = app.add_subcommand("list", "list the members in directory order");
  archive_argument(listCommand, &list.archive);
  listCommand->add_flag("--all", list.all, "include deleted entries");
  listCommand->add_flag("--json", list.json, "one JSON array of objects");

  ExtractOptions extract;
  CLI::App* extractCommand =
      app.add_subcommand("extract", "write members, unpacked, to files below a folder");
  archive_argument(extractCommand, &extract.archive);
  extractCommand->add_option("PATTERN", extract.patterns,
                             "member names or wildcard patterns (default: every member)");
  extractCommand->add_option("-C", extract.directory, "folder to extract into (default: .)")
      ->type_name("DIR");
  extractCommand->add_flag("--stored", extract.stored, "write the bytes as stored, not unpacked");

  CatOptions cat;
  CLI::App* catCommand = app.add_subcommand("cat", "write one member, unpacked, to standard output");
  archive_argument(catCommand, &cat.archive);
  catCommand->add_option("NAME", cat.name, "the member's name")->required();

  DeleteOptions remove;
  CLI::App* deleteCommand = app.add_subcommand("delete", "delete members (compact reclaims them)");
  archive_argument(deleteCommand, &remove.archive);
  deleteCommand->add_option("NAME", remove.names, "the members' names")->required();

  RenameOptions rename;
  CLI::App* renameCommand = app.add_subcommand("rename", "give a member a new name");
  archive_argument(renameCommand, &rename.archive);
  renameCommand->add_option("OLD", rename.oldName, "the member's name")->required();
  renameCommand->add_option("NEW", rename.newName, "its new name, whole")->required();

  std::string compact;
  CLI::App* compactCommand =
      app.add_subcommand("compact", "rewrite the archive without deleted entries");
  archive_argument(compactCommand, &compact);

  VerifyOptions verify;
  CLI::App* verifyCommand =
      app.add_subcommand("verify", "read the directory and inflate every packed member");
  archive_argument(verifyCommand, &verify.archive);
  verifyCommand
      ->add_option("--base", verify.bases,
                   "an updater's base folder, in the order given to build-updater: each delta "
                   "for it is applied and the result's SHA-256 checked")
      ->type_name("DIR");

  InfoOptions info;
  CLI::App* infoCommand = app.add_subcommand("info", "the header, member counts and dead bytes");
  infoCommand->add_option("FILE", info.file, "an archive, or an .exe that carries one")->required();
  infoCommand->add_flag("--json", info.json, "one JSON object");

  BuildUpdaterOptions build;
  CLI::App* buildCommand = app.add_subcommand(
      "build-updater", "copy the updater stub with the game executable and update pack appended");
  buildCommand->add_option("--stub", build.stub, "the updater executable without payload")
      ->required();
  buildCommand->add_option("--game-exe", build.gameExe, "the new game executable")->required();
  buildCommand->add_option("--pack", build.pack, "the new update pack (an archive)")->required();
  buildCommand->add_option("-o", build.out, "the updater to write (name it *.exe)")
      ->type_name("OUT")
      ->required();
  buildCommand->add_option("--base", build.bases,
                           "a previous version's folder (its Velmor.EXE and Update.PAK): carry "
                           "deltas against it; repeat for more")
      ->type_name("DIR");
  buildCommand->add_flag("--with-full", build.withFull,
                         "with --base: also carry the whole files, for players who match no base");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e, io.out, io.err) == 0 ? PAK_EXIT_OK : PAK_EXIT_USAGE;
  }
  if (asOption->count() != 0 && add.as.empty()) return usage(io, "--as needs a member name");
  add.rawNames = list.rawNames = extract.rawNames = cat.rawNames = remove.rawNames =
      rename.rawNames = verify.rawNames = rawNames;

  try {
    if (createCommand->parsed()) return run_create(create, io);
    if (addCommand->parsed()) return run_add(add, io);
    if (listCommand->parsed()) return run_list(list, io);
    if (extractCommand->parsed()) return run_extract(extract, io);
    if (catCommand->parsed()) return run_cat(cat, io);
    if (deleteCommand->parsed()) return run_delete(remove, io);
    if (renameCommand->parsed()) return run_rename(rename, io);
    if (compactCommand->parsed()) return run_compact(compact, io);
    if (verifyCommand->parsed()) return run_verify(verify, io);
    if (infoCommand->parsed()) return run_info(info, io);
    if (buildCommand->parsed()) return run_build_updater(build, io);
  } catch (const std::bad_alloc&) {
    io.err << "pak: out of memory\n";
    return PAK_EXIT_FAILED;
  }
  return usage(io, "no command given");
}
