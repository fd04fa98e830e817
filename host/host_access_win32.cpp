// Win32 copy of a file's explicit access entries: those set on the file itself, not inherited
// from its folder (an installer's "Users: Modify" on a file the game writes). A new copy made
// in the same folder inherits what the old file inherited; given the old file's explicit
// entries, in their order, it ends up with the access the old file had. A file whose entries
// are protected from inheritance passes that on too.
#include <windows.h>

#include <aclapi.h>

#include "host/host_win32.h"

namespace host_win32 {
namespace {

// The old file's access list, read once and freed with the object.
class AccessList {
 public:
  explicit AccessList(const char* path) {
    const DWORD read = GetNamedSecurityInfoA(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                             nullptr, nullptr, &list_, nullptr, &descriptor_);
    ok_ = read == ERROR_SUCCESS;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (ok_ && GetSecurityDescriptorControl(descriptor_, &control, &revision)) {
      protected_ = (control & SE_DACL_PROTECTED) != 0;
    }
  }
  ~AccessList() {
    if (descriptor_ != nullptr) LocalFree(descriptor_);
  }
  AccessList(const AccessList&) = delete;
  AccessList& operator=(const AccessList&) = delete;

  bool ok() const { return ok_; }
  bool is_protected() const { return protected_; }
  // Null: no list at all, which grants everyone everything.
  PACL list() const { return list_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  PACL list_ = nullptr;
  bool ok_ = false;
  bool protected_ = false;
};

// The header every entry starts with; ACE_HEADER's flags tell an inherited entry.
const ACE_HEADER* entry_at(PACL list, DWORD index) {
  void* entry = nullptr;
  return GetAce(list, index, &entry) ? static_cast<const ACE_HEADER*>(entry) : nullptr;
}

}  // namespace

int copy_access(const char* from, const char* to) {
  if (!path_fits(from) || !path_fits(to)) return -1;
  const AccessList old(from);
  if (!old.ok()) return -1;
  const PACL list = old.list();
  const DWORD count = list != nullptr ? list->AceCount : 0;
  DWORD explicitBytes = 0;
  DWORD explicitCount = 0;
  for (DWORD i = 0; i < count; ++i) {
    const ACE_HEADER* entry = entry_at(list, i);
    if (entry == nullptr) return -1;
    if ((entry->AceFlags & INHERITED_ACE) != 0) continue;
    explicitBytes += entry->AceSize;
    ++explicitCount;
  }
  // Only inherited entries: the new copy inherits the same ones from the same folder.
  if (list != nullptr && explicitCount == 0 && !old.is_protected()) return 0;

  PACL copy = nullptr;
  if (list != nullptr) {
    const DWORD size = sizeof(ACL) + explicitBytes;
    copy = static_cast<PACL>(LocalAlloc(LPTR, size));
    if (copy == nullptr) return -1;
    bool built = InitializeAcl(copy, size, list->AclRevision) != 0;
    for (DWORD i = 0; built && i < count; ++i) {
      const ACE_HEADER* entry = entry_at(list, i);
      if (entry == nullptr) {
        built = false;
      } else if ((entry->AceFlags & INHERITED_ACE) == 0) {
        built = AddAce(copy, list->AclRevision, MAXDWORD, const_cast<ACE_HEADER*>(entry),
                       entry->AceSize) != 0;
      }
    }
    if (!built) {
      LocalFree(copy);
      return -1;
    }
  }
  const SECURITY_INFORMATION what =
      DACL_SECURITY_INFORMATION | (old.is_protected() ? PROTECTED_DACL_SECURITY_INFORMATION
                                                      : UNPROTECTED_DACL_SECURITY_INFORMATION);
  const DWORD set = SetNamedSecurityInfoA(const_cast<char*>(to), SE_FILE_OBJECT, what, nullptr,
                                          nullptr, copy, nullptr);
  if (copy != nullptr) LocalFree(copy);
  return set == ERROR_SUCCESS ? 0 : -1;
}

}  // namespace host_win32
