/* Stand-ins for engine code that handles its own faults with structured-exception blocks, as
 * MSVC-built game code does. Built by clang like the mod's own block (see SehGuard.cmake). */
#include <windows.h>

static int* volatile g_unmapped = (int*)(ULONG_PTR)64;

/* The faulting store sits in a function of its own: clang's __try covers the calls in its
 * block (as MSVC's does with every instruction). */
__attribute__((noinline)) static void StoreToUnmapped(void) {
  *g_unmapped = 1;
}

/* Faults and handles the fault itself; 1 when its own handler ran. */
int kvr_test_fault_handled_inside(void) {
  __try {
    StoreToUnmapped();
  } __except (EXCEPTION_EXECUTE_HANDLER) {
    return 1;
  }
  return 0;
}

/* Faults inside a block whose filter looks at the fault and declines it, so the search goes on
 * to the frames above. *filterRan is set when the filter was asked. */
int kvr_test_fault_declined_inside(volatile int* filterRan) {
  __try {
    StoreToUnmapped();
  } __except (*filterRan = 1, EXCEPTION_CONTINUE_SEARCH) {
    return 2;
  }
  return 0;
}

/* Raises an exception with the MSVC runtime's C++ exception code, as a throw in MSVC-built
 * code does when nothing catches it. */
void kvr_test_raise_msvc_cxx_exception(void) {
  RaiseException(0xE06D7363u, 0, 0, NULL);
}
