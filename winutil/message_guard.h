// Window and dialog procedures run inside the system's frames: an exception
// must not cross them (where it ends the process without a word). A handler
// that finds no memory ends its message instead; what it was making is
// dropped and the window stays as it was.
#pragma once
#include <new>

namespace kv {

template <typename F, typename R>
R CatchAllocationFailure(F handler, R onFailure) {
  try {
    return handler();
  } catch (const std::bad_alloc&) {
    return onFailure;
  }
}

}  // namespace kv
