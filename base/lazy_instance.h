#ifndef BASE_LAZY_INSTANCE_H_
#define BASE_LAZY_INSTANCE_H_

// Process-wide instances made on first use, safely from any thread:
//
//   base::LazyInstance<Foo> g_foo = LAZY_INSTANCE_INITIALIZER;
//   g_foo.Get().Bar();
//
// The state word is 0 before creation, 1 while one thread makes the
// instance, and the instance's address afterwards. A default instance is
// destroyed when the exit-callback stack runs and its word returns to 0, so a
// later Get makes a fresh one instead of handing out freed memory.
// LazyInstance<Foo>::Leaky lives until the process ends.

#include <atomic>
#include <cstdint>
#include <new>

namespace base {

template <typename Type>
struct DefaultLazyInstanceTraits {
  static const bool kRegisterOnExit = true;
  static Type* New(void* instance) { return new (instance) Type(); }
  static void Delete(Type* instance) { instance->~Type(); }
};

template <typename Type>
struct LeakyLazyInstanceTraits {
  static const bool kRegisterOnExit = false;
  static Type* New(void* instance) { return new (instance) Type(); }
  static void Delete(Type*) {}
};

// The lazy-instance protocol, shared by every instance.
//
// Atomically moves the word from 0 to 1; true means the caller must make
// the instance and call CompleteLazyInstance. Otherwise it waits while
// another thread makes it and returns false: the word then holds it.
bool NeedsLazyInstance(std::atomic<uintptr_t>* state);

// Publishes new_instance in the word and, when destructor is given,
// registers destructor(lazy_instance) with the exit-callback stack.
void CompleteLazyInstance(std::atomic<uintptr_t>* state,
                          uintptr_t new_instance, void* lazy_instance,
                          void (*destructor)(void*));

#define LAZY_INSTANCE_INITIALIZER \
  {}

template <typename Type, typename Traits = DefaultLazyInstanceTraits<Type>>
class LazyInstance {
 public:
  typedef LazyInstance<Type, LeakyLazyInstanceTraits<Type>> Leaky;

  // Constant-initialised, so a namespace-scope instance is ready before any
  // code runs and has no destructor of its own.
  constexpr LazyInstance() : state_(0), storage_{} {}

  Type& Get() { return *Pointer(); }
  Type* operator->() { return Pointer(); }
  Type& operator*() { return *Pointer(); }

  Type* Pointer() {
    uintptr_t value = state_.load(std::memory_order_acquire);
    if (value > kBeingCreated) return reinterpret_cast<Type*>(value);
    if (NeedsLazyInstance(&state_)) {
      Type* instance = Traits::New(storage_);
      CompleteLazyInstance(&state_, reinterpret_cast<uintptr_t>(instance),
                           this,
                           Traits::kRegisterOnExit ? &OnExit : nullptr);
      return instance;
    }
    return reinterpret_cast<Type*>(state_.load(std::memory_order_acquire));
  }

  // True once the instance exists (and until it is destroyed at exit).
  bool IsCreated() const {
    return state_.load(std::memory_order_acquire) > kBeingCreated;
  }

 private:
  static const uintptr_t kBeingCreated = 1;

  static void OnExit(void* lazy_instance) {
    LazyInstance* me = static_cast<LazyInstance*>(lazy_instance);
    Traits::Delete(reinterpret_cast<Type*>(
        me->state_.load(std::memory_order_acquire)));
    me->state_.store(0, std::memory_order_release);
  }

  std::atomic<uintptr_t> state_;
  alignas(Type) unsigned char storage_[sizeof(Type)];
};

}  // namespace base

#endif  // BASE_LAZY_INSTANCE_H_
