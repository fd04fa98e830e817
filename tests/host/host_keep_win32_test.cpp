// The Win32 host's steps that keep an update safe beyond the rename itself: the copy of a
// file's explicit access entries (Wine keeps security descriptors on its files), the volume
// flush, which error codes name a hold or the system's protection, and a refused flush.
#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host.h"
#include "support/pak_fixture.h"
#include "support/reset_state.h"
#include "support/temp_dir.h"

#ifndef ERROR_VIRUS_INFECTED
#define ERROR_VIRUS_INFECTED 225L
#endif
#ifndef ERROR_VIRUS_DELETED
#define ERROR_VIRUS_DELETED 226L
#endif

namespace {

// BUILTIN\Users, to whom an installer grants Modify on a file the game writes.
struct UsersSid {
  UsersSid() {
    DWORD size = sizeof bytes;
    ok = CreateWellKnownSid(WinBuiltinUsersSid, nullptr, bytes, &size) != 0;
  }
  PSID get() { return bytes; }
  BYTE bytes[SECURITY_MAX_SID_SIZE];
  bool ok = false;
};

constexpr DWORD kModify = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;

// The explicit entries of a file's access list that allow sid something, with their rights.
std::vector<DWORD> explicit_grants(const std::string& path, PSID sid) {
  std::vector<DWORD> grants;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS) {
    ADD_FAILURE() << "no access list read from " << path;
    return grants;
  }
  for (DWORD i = 0; list != nullptr && i < list->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(list, i, &entry)) continue;
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
        (allowed->Header.AceFlags & INHERITED_ACE) != 0) {
      continue;
    }
    if (EqualSid(const_cast<DWORD*>(&allowed->SidStart), sid)) grants.push_back(allowed->Mask);
  }
  LocalFree(descriptor);
  return grants;
}

// Grants sid the rights on the file in an entry of its own, beside what it inherits.
bool grant(const std::string& path, PSID sid, DWORD rights) {
  BYTE room[sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE];
  auto* list = reinterpret_cast<PACL>(room);
  return InitializeAcl(list, sizeof room, ACL_REVISION) &&
         AddAccessAllowedAce(list, ACL_REVISION, rights, sid) &&
         SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
                               DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                               nullptr, nullptr, list, nullptr) == ERROR_SUCCESS;
}

class HostKeepWin32Test : public ::testing::Test {
 protected:
  void SetUp() override { reset_process_state(); }
  std::string at(const std::string& name) const { return dir_.join(name); }
  TempDir dir_;
};

TEST_F(HostKeepWin32Test, TheNewCopyKeepsTheExplicitEntriesOfTheOldFile) {
  UsersSid users;
  ASSERT_TRUE(users.ok);
  ASSERT_TRUE(write_file_bytes(at("INSTALL.DAT"), bytes_of("old")));
  ASSERT_TRUE(write_file_bytes(at("INSTALL.DAT.~new0"), bytes_of("new")));
  ASSERT_TRUE(grant(at("INSTALL.DAT"), users.get(), kModify));
  // Wine keeps a descriptor set on a file only where it can store it beside the file (an
  // extended attribute), and not always then; NTFS always does.
  if (explicit_grants(at("INSTALL.DAT"), users.get()) != std::vector<DWORD>{kModify}) {
    GTEST_SKIP() << "the file system here keeps no access entries set on a file";
  }
  ASSERT_TRUE(explicit_grants(at("INSTALL.DAT.~new0"), users.get()).empty());

  EXPECT_EQ(host_copy_access(at("INSTALL.DAT").c_str(), at("INSTALL.DAT.~new0").c_str()), 0);
  EXPECT_EQ(explicit_grants(at("INSTALL.DAT.~new0"), users.get()), std::vector<DWORD>{kModify});
  // It then takes the old file's place by a rename, which on NTFS keeps a file's descriptor.
  // (Wine drops the descriptor it stores for a file renamed over another, so what the name
  // holds afterwards is Wine's, not the update's: not checked here.)
  EXPECT_EQ(host_replace(at("INSTALL.DAT.~new0").c_str(), at("INSTALL.DAT").c_str()), 0);

  EXPECT_EQ(host_copy_access(at("missing").c_str(), at("INSTALL.DAT").c_str()), -1);
  EXPECT_EQ(host_copy_access(at("INSTALL.DAT").c_str(), at("missing").c_str()), -1);
}

TEST_F(HostKeepWin32Test, ACopyOfAFileWithoutEntriesOfItsOwnGrantsNothingMore) {
  UsersSid users;
  ASSERT_TRUE(users.ok);
  ASSERT_TRUE(write_file_bytes(at("Velmor.EXE"), bytes_of("old")));
  ASSERT_TRUE(write_file_bytes(at("Velmor.EXE.~new0"), bytes_of("new")));
  EXPECT_EQ(host_copy_access(at("Velmor.EXE").c_str(), at("Velmor.EXE.~new0").c_str()), 0);
  EXPECT_EQ(explicit_grants(at("Velmor.EXE.~new0"), users.get()),
            explicit_grants(at("Velmor.EXE"), users.get()));
}

TEST_F(HostKeepWin32Test, ANetworkShareHasNoVolumeToFlush) {
  // Named by its server: no device here to open (nothing is sent over a network).
  EXPECT_EQ(host_flush_volume("\\\\nowhere.invalid\\share\\Velmor"), -1);
  EXPECT_EQ(host_flush_volume(""), -1);
}

TEST_F(HostKeepWin32Test, ErrorCodesOfAHoldAndOfTheSystemsProtection) {
  const struct {
    DWORD error;
    HostRefusal refusal;
  } cases[] = {
      {ERROR_SHARING_VIOLATION, HostRefusal::Held},
      {ERROR_ACCESS_DENIED, HostRefusal::Held},
      {ERROR_LOCK_VIOLATION, HostRefusal::Held},
      {ERROR_USER_MAPPED_FILE, HostRefusal::Held},
      {ERROR_VIRUS_INFECTED, HostRefusal::Protection},
      {ERROR_VIRUS_DELETED, HostRefusal::Protection},
      {ERROR_FILE_NOT_FOUND, HostRefusal::Other},
      {ERROR_DISK_FULL, HostRefusal::Other},
      {ERROR_SUCCESS, HostRefusal::Other},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(host_refusal_of(c.error), c.refusal);
  }
}

}  // namespace
