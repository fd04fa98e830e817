// Member changes in an archive open for writing: finding a live member by its exact name,
// deleting, renaming, and creating a member through the file layer. Names are archive bytes.
#pragma once

#include <cstdint>
#include <string>

#include "archive/pak_table.h"

// Why a name cannot be a member name, or null when it can (1 to 39 bytes).
const char* member_name_problem(const std::string& name);

// The newest live entry whose name equals name (ASCII case ignored, as lookups compare), or -1.
// Wildcard characters in name are plain characters here.
int32_t find_live_member(const PakArchive& a, const std::string& name);

// Marks every live entry of that name deleted; returns how many there were.
int delete_live_members(int slot, const std::string& name);

// Gives entry i the new name (which must pass member_name_problem).
void rename_member(int slot, int32_t entry, const std::string& newName);

// Replaces any live member of that name by a new empty one at the end of the archive's data
// and returns its member handle (the file layer's), or -1 when the archive serves no mount
// letter through which it can be created or the directory cannot grow.
int32_t create_member(int slot, const std::string& name);
