#include "base/threading/thread_local_storage.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace base {

namespace {

const int kSize = ThreadLocalStorage::kThreadLocalStorageSize;

// The one TLS index; TLS_OUT_OF_INDEXES until taken.
std::atomic<DWORD> g_native_tls_key{TLS_OUT_OF_INDEXES};

// The last slot number handed out. Failed requests keep counting past the
// table, so every reader clamps it.
std::atomic<int> g_last_used_tls_key{0};

std::atomic<ThreadLocalStorage::TLSDestructorFunc> g_tls_destructors[kSize];

int HighestSlotInUse() {
  return std::min(g_last_used_tls_key.load(), kSize - 1);
}

// The index, taken on first use; TLS_OUT_OF_INDEXES when the process has
// none left.
DWORD GetNativeKey() {
  DWORD key = g_native_tls_key.load();
  if (key != TLS_OUT_OF_INDEXES) return key;
  DWORD fresh = TlsAlloc();
  if (fresh == TLS_OUT_OF_INDEXES) return TLS_OUT_OF_INDEXES;
  if (!g_native_tls_key.compare_exchange_strong(key, fresh)) {
    TlsFree(fresh);  // another thread won; |key| now holds its index
    return key;
  }
  return fresh;
}

// The calling thread's vector, made on first use; null without an index.
void** GetTlsVector() {
  const DWORD key = GetNativeKey();
  if (key == TLS_OUT_OF_INDEXES) return nullptr;
  void** vector = static_cast<void**>(TlsGetValue(key));
  if (vector) return vector;
  vector = new void*[kSize]();
  if (!TlsSetValue(key, vector)) {
    delete[] vector;
    return nullptr;
  }
  return vector;
}

void OnThreadExit() {
  const DWORD key = g_native_tls_key.load();
  if (key == TLS_OUT_OF_INDEXES) return;
  void** heap_vector = static_cast<void**>(TlsGetValue(key));
  if (!heap_vector) return;

  // Destructors may read or set slots while they run: give them a copy on
  // this stack and free the heap vector now.
  void* stack_vector[kSize];
  memcpy(stack_vector, heap_vector, sizeof(stack_vector));
  TlsSetValue(key, stack_vector);
  delete[] heap_vector;

  for (int pass = 0; pass < kSize; ++pass) {
    bool called = false;
    for (int slot = HighestSlotInUse(); slot > 0; --slot) {
      void* value = stack_vector[slot];
      ThreadLocalStorage::TLSDestructorFunc destructor =
          g_tls_destructors[slot].load();
      if (!value || !destructor) continue;
      stack_vector[slot] = nullptr;
      destructor(value);
      called = true;
    }
    if (!called) break;
  }
  TlsSetValue(key, nullptr);
}

void NTAPI OnTlsCallback(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_THREAD_DETACH || reason == DLL_PROCESS_DETACH)
    OnThreadExit();
}

}  // namespace

ThreadLocalStorage::Slot::Slot(TLSDestructorFunc destructor)
    : initialized_(false), slot_(0) {
  Initialize(destructor);
}

bool ThreadLocalStorage::Slot::Initialize(TLSDestructorFunc destructor) {
  if (!GetTlsVector()) return false;
  const int slot = ++g_last_used_tls_key;
  if (slot >= kSize) return false;
  g_tls_destructors[slot] = destructor;
  slot_ = slot;
  initialized_ = true;
  return true;
}

void ThreadLocalStorage::Slot::Free() {
  if (initialized_) g_tls_destructors[slot_] = nullptr;
  slot_ = 0;
  initialized_ = false;
}

void* ThreadLocalStorage::Slot::Get() const {
  void** vector = GetTlsVector();
  return vector && initialized_ ? vector[slot_] : nullptr;
}

void ThreadLocalStorage::Slot::Set(void* value) {
  void** vector = GetTlsVector();
  if (vector && initialized_) vector[slot_] = value;
}

}  // namespace base

// The program's TLS callback: the loader calls it at every thread's exit
// and at process exit. Linked in whenever slots are used.
extern "C" {
__attribute__((section(".CRT$XLY"), used))
PIMAGE_TLS_CALLBACK qv_thread_local_storage_callback =
    base::OnTlsCallback;
}
