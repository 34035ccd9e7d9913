// Where a thread may block on file work. No thread of this program is
// barred from it, so the check passes everywhere; callers still mark the
// places that block.

#ifndef BASE_THREADING_THREAD_RESTRICTIONS_H_
#define BASE_THREADING_THREAD_RESTRICTIONS_H_

namespace base {

class ThreadRestrictions {
 public:
  ThreadRestrictions() = delete;

  static void AssertIOAllowed() {}
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_RESTRICTIONS_H_
