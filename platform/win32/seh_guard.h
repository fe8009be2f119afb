/* The frame-based structured-exception block (seh_guard.c, compiled by clang with
 * -fms-extensions). C linkage: the mingw-built code calls it. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* What ended the guarded call. */
#define KVR_SEH_COMPLETED 0
#define KVR_SEH_MACHINE_FAULT 1
#define KVR_SEH_FOREIGN_EXCEPTION 2 /* a C++ exception of the MSVC runtime no frame caught */

/* The MSVC runtime's C++ exception code ("msc" with 0xE0 in the high byte). */
#define KVR_SEH_MSVC_CXX_EXCEPTION 0xE06D7363u

/* Calls body(context). A machine fault or MSVC C++ exception that no frame inside body claims
 * ends body where it stood (its frames are unwound without running their destructors) and is
 * answered here; every other exception passes on to the frames above. */
int kvr_seh_guarded_call(void (*body)(void*), void* context);

#ifdef __cplusplus
}
#endif
