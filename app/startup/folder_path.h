// Making the folders that a file path needs.
#pragma once
#include <string_view>

// Creates every folder of the file path's folder part, outermost first.
// A path without a separator needs none. Returns true (a folder that cannot
// be made ends the process, see CreateFolderChecked).
bool CreateFolderPath(std::string_view filePath);

// True when anything exists under that path, or once the folder is made.
// When it cannot be made the process ends with "Couldn't create dir".
bool CreateFolderChecked(std::string_view folderPath);
