// Pictures of windows for the documentation: when a pictures folder is set, a window is
// copied from the screen into a BMP file of that folder (scripts/screenshots.sh makes PNGs).
#pragma once

#include <windows.h>

#include <string>

// The folder pictures go to (a Windows path); empty: no pictures are taken.
extern std::string g_pictureFolder;

// Saves what the screen shows of the window, frame included, as NAME.bmp. Does nothing
// without a pictures folder; returns false when the picture could not be saved.
bool take_picture(HWND window, const char* name);
