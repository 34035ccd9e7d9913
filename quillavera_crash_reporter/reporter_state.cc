#include "quillavera_crash_reporter/reporter_state.h"

#include "base/lazy_instance.h"
#include "base/lock.h"

namespace {

struct GuardedReporterState {
  base::LockImpl lock;
  ReporterState state;
};

// Leaky: callbacks may still run while exit() tears the process down.
base::LazyInstance<GuardedReporterState>::Leaky g_reporter_state =
    LAZY_INSTANCE_INITIALIZER;

}  // namespace

LockedReporterState::LockedReporterState()
    : state_(&g_reporter_state.Get().state) {
  g_reporter_state.Get().lock.Lock();
}

LockedReporterState::~LockedReporterState() {
  g_reporter_state.Get().lock.Unlock();
}
