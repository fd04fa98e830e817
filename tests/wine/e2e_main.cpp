// The end-to-end test program: runs under Wine with a display. Its own options name the
// programs under test, the planted library, a signed updater and the pictures folder; the rest
// goes to GoogleTest.
//   tests_wine_e2e.exe [--stub=PATH] [--pak=PATH] [--planted=PATH] [--signed=PATH]
//                      [--pictures=FOLDER] [gtest options]
// Without --stub, --pak and --planted it finds them in the build tree it was built in; without
// --signed the signed updater's test is skipped.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "e2e_fixture.h"
#include "window_picture.h"

namespace {

// A path next to this program's own, relative as the build tree lays them out.
std::string beside_me(const char* relative) {
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path = self;
  path.erase(path.find_last_of('\\') + 1);
  for (const char* p = relative; *p != '\0'; ++p) path += *p == '/' ? '\\' : *p;
  return path;
}

bool option(const char* argument, const char* name, std::string* value) {
  const size_t length = strlen(name);
  if (strncmp(argument, name, length) != 0) return false;
  *value = argument + length;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  g_stubPath = beside_me(E2E_STUB_FROM_DRIVER);
  g_pakPath = beside_me(E2E_PAK_FROM_DRIVER);
  g_standinGamePath = beside_me(E2E_STANDIN_FROM_DRIVER);
  g_plantedPath = beside_me(E2E_PLANTED_FROM_DRIVER);
  for (int i = 1; i < argc; ++i) {
    if (!option(argv[i], "--stub=", &g_stubPath) && !option(argv[i], "--pak=", &g_pakPath) &&
        !option(argv[i], "--signed=", &g_signedUpdaterPath) &&
        !option(argv[i], "--planted=", &g_plantedPath) &&
        !option(argv[i], "--pictures=", &g_pictureFolder)) {
      fprintf(stderr, "unknown option: %s\n", argv[i]);
      return 2;
    }
  }
  return RUN_ALL_TESTS();
}
