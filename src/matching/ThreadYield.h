// Gives up the rest of the calling thread's time slice. Kept apart because
// the Windows build's runtime may lack std::this_thread.
#ifndef TAVRIN_MATCHING_THREADYIELD_H_
#define TAVRIN_MATCHING_THREADYIELD_H_

#if defined(_WIN32)
#include <windows.h>
#else
#include <sched.h>
#endif

namespace Tavrin {

inline void YieldThread() noexcept {
#if defined(_WIN32)
  SwitchToThread();
#else
  sched_yield();
#endif
}

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_THREADYIELD_H_
