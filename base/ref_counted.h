#ifndef BASE_REF_COUNTED_H_
#define BASE_REF_COUNTED_H_

#include <atomic>
#include <cstdint>
#include <utility>

namespace base {

// A plain 32-bit reference count, for objects used on one thread.
class RefCountedBase {
 public:
  bool HasOneRef() const { return ref_count_ == 1; }

 protected:
  RefCountedBase() : ref_count_(0) {}
  ~RefCountedBase() = default;
  RefCountedBase(const RefCountedBase&) = delete;
  RefCountedBase& operator=(const RefCountedBase&) = delete;

  void AddRef() const { ++ref_count_; }
  // True when the count reached 0: the caller then deletes the object.
  bool Release() const { return --ref_count_ == 0; }

 private:
  mutable int32_t ref_count_;
};

// A 32-bit reference count changed only by atomic steps; the thread whose
// release takes it from 1 to 0 deletes the object.
class RefCountedThreadSafeBase {
 public:
  bool HasOneRef() const {
    return ref_count_.load(std::memory_order_acquire) == 1;
  }

 protected:
  RefCountedThreadSafeBase() : ref_count_(0) {}
  ~RefCountedThreadSafeBase() = default;
  RefCountedThreadSafeBase(const RefCountedThreadSafeBase&) = delete;
  RefCountedThreadSafeBase& operator=(const RefCountedThreadSafeBase&) =
      delete;

  void AddRef() const { ref_count_.fetch_add(1, std::memory_order_relaxed); }
  // True when the value before the decrement was 1.
  bool Release() const {
    return ref_count_.fetch_sub(1, std::memory_order_acq_rel) == 1;
  }

 private:
  mutable std::atomic<int32_t> ref_count_;
};

// Mix-ins that delete the object when its last reference goes:
//   class Foo : public base::RefCounted<Foo> { ... };
template <class T>
class RefCounted : public RefCountedBase {
 public:
  void AddRef() const { RefCountedBase::AddRef(); }
  void Release() const {
    if (RefCountedBase::Release()) delete static_cast<const T*>(this);
  }

 protected:
  RefCounted() = default;
  ~RefCounted() = default;
};

template <class T>
class RefCountedThreadSafe : public RefCountedThreadSafeBase {
 public:
  void AddRef() const { RefCountedThreadSafeBase::AddRef(); }
  void Release() const {
    if (RefCountedThreadSafeBase::Release()) delete static_cast<const T*>(this);
  }

 protected:
  RefCountedThreadSafe() = default;
  ~RefCountedThreadSafe() = default;
};

// Holds one reference to a reference-counted object.
template <class T>
class scoped_refptr {
 public:
  scoped_refptr() : ptr_(nullptr) {}
  scoped_refptr(T* p) : ptr_(p) {  // NOLINT(runtime/explicit)
    if (ptr_) ptr_->AddRef();
  }
  scoped_refptr(const scoped_refptr& r) : ptr_(r.ptr_) {
    if (ptr_) ptr_->AddRef();
  }
  scoped_refptr(scoped_refptr&& r) noexcept : ptr_(r.ptr_) { r.ptr_ = nullptr; }
  ~scoped_refptr() {
    if (ptr_) ptr_->Release();
  }

  scoped_refptr& operator=(scoped_refptr r) noexcept {
    std::swap(ptr_, r.ptr_);
    return *this;
  }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

 private:
  T* ptr_;
};

}  // namespace base

#endif  // BASE_REF_COUNTED_H_
