// Windows module glue: the module carries its own copy of the C++ runtime
// (linked statically, so that hosts need nothing beside Tavrin.dll). That
// runtime sets aside a pool at load, for exceptions thrown when the heap is
// exhausted, and never gives it back; a host that loads and unloads the
// module again and again would lose the pool's storage each time. This
// object's destructor, run with the module's static teardown, returns it.
#include <new>  // defines __GLIBCXX__ when the runtime is libstdc++

#if defined(_WIN32) && defined(__GLIBCXX__)

namespace __gnu_cxx {
// libstdc++'s own hook for releasing its once-allocated storage.
void __freeres() noexcept;
}  // namespace __gnu_cxx

namespace Tavrin {
namespace {

struct RuntimePoolRelease {
  ~RuntimePoolRelease() { __gnu_cxx::__freeres(); }
};

RuntimePoolRelease runtime_pool_release;

}  // namespace
}  // namespace Tavrin

#endif
