#include "base/threading/thread_id_name_manager.h"

#include "base/lazy_instance.h"

namespace base {

namespace {

LazyInstance<ThreadIdNameManager>::Leaky g_manager = LAZY_INSTANCE_INITIALIZER;

}  // namespace

// static
ThreadIdNameManager* ThreadIdNameManager::GetInstance() {
  return g_manager.Pointer();
}

ThreadIdNameManager::ThreadIdNameManager()
    : main_process_name_(nullptr), main_process_id_(-1) {
  default_name_ = Intern(std::string());
  main_process_name_ = default_name_;
}

const std::string* ThreadIdNameManager::Intern(const std::string& name) {
  auto it = name_to_interned_name_.find(name);
  if (it != name_to_interned_name_.end()) return it->second;
  std::string* interned = new std::string(name);
  name_to_interned_name_[name] = interned;
  return interned;
}

void ThreadIdNameManager::RegisterThread(HANDLE handle, PlatformThreadId id) {
  AutoLock auto_lock(lock_);
  thread_id_to_handle_[id] = handle;
  thread_handle_to_interned_name_[handle] = default_name_;
}

void ThreadIdNameManager::SetName(PlatformThreadId id, const char* name) {
  AutoLock auto_lock(lock_);
  const std::string* interned = Intern(name ? name : "");
  auto handle = thread_id_to_handle_.find(id);
  if (handle != thread_id_to_handle_.end()) {
    thread_handle_to_interned_name_[handle->second] = interned;
    return;
  }
  main_process_name_ = interned;
  main_process_id_ = id;
}

const char* ThreadIdNameManager::GetName(PlatformThreadId id) {
  AutoLock auto_lock(lock_);
  if (main_process_id_ == static_cast<int64_t>(id))
    return main_process_name_->c_str();
  auto handle = thread_id_to_handle_.find(id);
  if (handle == thread_id_to_handle_.end()) return default_name_->c_str();
  auto name = thread_handle_to_interned_name_.find(handle->second);
  if (name == thread_handle_to_interned_name_.end())
    return default_name_->c_str();
  return name->second->c_str();
}

void ThreadIdNameManager::RemoveName(HANDLE handle, PlatformThreadId id) {
  AutoLock auto_lock(lock_);
  thread_handle_to_interned_name_.erase(handle);
  auto it = thread_id_to_handle_.find(id);
  if (it != thread_id_to_handle_.end() && it->second == handle)
    thread_id_to_handle_.erase(it);
}

}  // namespace base
