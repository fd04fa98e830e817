// Window pictures: the window's screen rectangle copied from the screen into a 24-bit DIB and
// written as a bottom-up BMP file, after the window has painted itself.
#include "window_picture.h"

#include <cstdio>
#include <vector>

std::string g_pictureFolder;

namespace {

// Lets the window finish painting (its owner answers messages once it has), then lets the
// display catch up.
void settle(HWND window) {
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME | RDW_ERASE);
  DWORD_PTR ignored;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
  Sleep(400);
}

bool write_bmp(const std::string& path, int width, int height, const std::vector<BYTE>& rows) {
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up, as GetDIBits gave the rows
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(rows.size());
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  FILE* out = fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const bool ok = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&info, sizeof info, 1, out) == 1 &&
                  fwrite(rows.data(), 1, rows.size(), out) == rows.size();
  return fclose(out) == 0 && ok;
}

}  // namespace

bool take_picture(HWND window, const char* name) {
  if (g_pictureFolder.empty()) return true;
  settle(window);
  RECT r;
  if (!GetWindowRect(window, &r)) return false;
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool copied = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != 0;
  SelectObject(memory, old);

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t(3);
  std::vector<BYTE> rows(stride * static_cast<size_t>(height));
  const bool read = copied && GetDIBits(memory, bitmap, 0, height, rows.data(), &info,
                                        DIB_RGB_COLORS) == height;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return read && write_bmp(g_pictureFolder + "\\" + name + ".bmp", width, height, rows);
}
