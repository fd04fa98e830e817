// Where a member is extracted to: its name (in the terminal's encoding) as a path below the
// target folder, '\' and '/' both separating folders. Names that would land anywhere else are
// refused with the reason.
#pragma once

#include <string>
#include <vector>

// The folders and file name the member name splits into, or false with *problem set when the
// name is absolute, carries a drive or mount prefix, climbs out with "..", or is otherwise
// unfit for a file name.
bool member_output_parts(const std::string& name, std::vector<std::string>* parts,
                         std::string* problem);
