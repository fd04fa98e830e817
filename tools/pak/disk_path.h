// Splitting the disk paths the tool is given: both '/' and '\' separate folders on every
// platform (Windows takes either), so a path that begins with '/' keeps its folder.
#pragma once

#include <string>

// The folder part of a path with its trailing separator ("" for a bare name; "C:" kept).
std::string disk_folder_part(const std::string& path);
// The last part of a path: what follows its last separator.
std::string disk_file_part(const std::string& path);
