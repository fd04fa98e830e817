// An updater's delta manifest as the tool shows and checks it: read from the payload, printed
// as text or JSON, and every delta applied to its base (when the bases are given) and every
// new file's SHA-256 compared with the manifest's.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <vector>

#include "archive/delta_manifest.h"
#include "tools/pak/archive_reader.h"
#include "tools/pak/tool_io.h"

enum class ManifestFound { None, Sound, Damaged };

// The archive's manifest member, decoded.
ManifestFound read_manifest(const ArchiveReader& reader, DeltaManifest* manifest);
// One line per file, then one per base (or the whole file) under it.
void print_manifest(const DeltaManifest& manifest, std::ostream& out);
// An array with one object per record.
nlohmann::ordered_json manifest_json(const DeltaManifest& manifest);
// Checks every record: a whole file's content and every delta applied to its base from bases
// (base folders by number; records of bases not given are skipped). Reports each problem under
// archive's name; returns the number of records found bad and counts the records checked.
int check_manifest(const ArchiveReader& reader, const DeltaManifest& manifest,
                   const std::vector<std::string>& bases, const std::string& archive, int* checked,
                   ToolIo& io);
