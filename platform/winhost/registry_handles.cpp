// The handle table: HKEY values of this process, each naming a key and
// carrying the enumeration cursors of that handle.
#include "registry_internal.h"

namespace winhost {
namespace reg {

HKEY Registry::NewHandle(Id key, std::string path) {
  size_t slot;
  if (!free_.empty()) {
    slot = free_.back();
    free_.pop_back();
  } else {
    slot = slots_.size();
    slots_.emplace_back();
  }
  Slot& s = slots_[slot];
  s = Slot();
  s.used = true;
  s.key = key;
  s.path = std::move(path);
  ++open_handles_;
  return reinterpret_cast<HKEY>(static_cast<uintptr_t>(kHandleBase + slot * 4));
}

Slot* Registry::FindSlot(HKEY h) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v < kHandleBase || (v - kHandleBase) % 4 != 0) return nullptr;
  const size_t slot = (v - kHandleBase) / 4;
  if (slot >= slots_.size() || !slots_[slot].used) return nullptr;
  return &slots_[slot];
}

bool Registry::CloseHandle(HKEY h) {
  Slot* s = FindSlot(h);
  if (!s) return false;
  s->used = false;
  free_.push_back((reinterpret_cast<uintptr_t>(h) - kHandleBase) / 4);
  --open_handles_;
  return true;
}

LONG Resolve(HKEY h, KeyRef* ref, std::string* prefix) {
  Registry& r = Reg();
  const uintptr_t v = reinterpret_cast<uintptr_t>(h);
  prefix->clear();
  if (v >= 0x80000000u && v <= 0x80000005u && v != 0x80000004u) {
    ref->values = r.RootValues(v - 0x80000000u);
    ref->subkeys = r.RootSubkeys(v - 0x80000000u);
  }
  switch (v) {
    case 0x80000000u:
      ref->id = r.root_id(0);
      *prefix = "SOFTWARE\\Classes";
      ref->path = "HKEY_LOCAL_MACHINE";
      return ERROR_SUCCESS;
    case 0x80000001u: ref->id = r.root_id(2); ref->path = "HKEY_CURRENT_USER"; return ERROR_SUCCESS;
    case 0x80000002u: ref->id = r.root_id(0); ref->path = "HKEY_LOCAL_MACHINE"; return ERROR_SUCCESS;
    case 0x80000003u: ref->id = r.root_id(1); ref->path = "HKEY_USERS"; return ERROR_SUCCESS;
    case 0x80000005u: ref->id = r.root_id(3); ref->path = "HKEY_CURRENT_CONFIG"; return ERROR_SUCCESS;
    default: break;
  }
  Slot* s = r.FindSlot(h);
  if (!s) return ERROR_INVALID_HANDLE;
  ref->id = s->key;
  ref->path = s->path;
  ref->values = &s->values;
  ref->subkeys = &s->subkeys;
  ref->opened = true;
  return ERROR_SUCCESS;
}

LONG CheckKey(const KeyRef& ref) { return ref.opened ? KeyExists(ref.id) : ERROR_SUCCESS; }

EnumSnapshot::EnumSnapshot(const char* op, HKEY h, Cursor* KeyRef::*kind) {
  Registry& r = Reg();
  error_ = r.Ready();
  if (error_ != ERROR_SUCCESS) return;
  rtx_.emplace(r);
  error_ = rtx_->began();
  if (error_ == ERROR_SUCCESS) error_ = ValueKey(h, &ref_);
  if (error_ == ERROR_SUCCESS) error_ = CheckKey(ref_);
  if (error_ == ERROR_SUCCESS) error_ = Hook(op, ref_, nullptr);
  if (error_ == ERROR_SUCCESS) error_ = KeyExists(ref_.id);
  if (error_ != ERROR_SUCCESS) return;
  cursor_ = ref_.*kind;
  const unsigned long long stamp = r.Stamp();
  if (cursor_->valid && cursor_->stamp != stamp) cursor_->valid = false;
  cursor_->stamp = stamp;
}

LONG EnumSnapshot::Step(sqlite3_stmt* s, DWORD index) const {
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
  if (rc != SQLITE_ROW) return Registry::ErrorFromSqlite(rc);
  cursor_->valid = true;
  cursor_->index = index;
  return ERROR_SUCCESS;
}

}  // namespace reg

int RegistryHandleCount() { return reg::Reg().open_handles(); }

}  // namespace winhost

extern "C" LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(hKey);
  if (v >= 0x80000000u && v <= 0x80000006u) return ERROR_SUCCESS;
  return winhost::reg::Reg().CloseHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
