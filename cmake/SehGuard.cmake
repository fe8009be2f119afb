# Windows only: the fault guard's structured-exception block (platform/win32/seh_guard.c) needs
# __try/__except, which mingw-w64 gcc does not offer. clang compiles that one C file for the
# same target (x86_64-w64-windows-gnu, same headers and runtime), and the object is linked into
# the mingw-built libraries like any other. Frame-based SEH then costs nothing until a fault.
find_program(KVR_SEH_CLANG NAMES clang clang-14 REQUIRED)

# Compiles one C source with clang's structured-exception support and adds the object to target.
function(kvr_add_seh_source target source)
  get_filename_component(stem ${source} NAME_WE)
  set(obj ${CMAKE_CURRENT_BINARY_DIR}/seh/${target}_${stem}.obj)
  set(flags -O2)
  if(CMAKE_BUILD_TYPE STREQUAL "Debug")
    set(flags -O0 -g)
  endif()
  add_custom_command(
    OUTPUT ${obj}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/seh
    COMMAND ${KVR_SEH_CLANG} --target=x86_64-w64-windows-gnu -fms-extensions -Wall -Werror
            ${flags} -DWIN32_LEAN_AND_MEAN -DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0A00
            -I${KVR_ROOT} -c ${source} -o ${obj}
    DEPENDS ${source} ${KVR_ROOT}/platform/win32/seh_guard.h
    COMMENT "clang (structured exceptions): ${source}"
    VERBATIM)
  target_sources(${target} PRIVATE ${obj})
  set_source_files_properties(${obj} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
endfunction()

kvr_add_seh_source(kvr_platform ${KVR_ROOT}/platform/win32/seh_guard.c)

# Timing of the guarded call without a fault (bench/win32; the native kvr-bench has its own).
add_executable(kvr-trap-bench ${KVR_ROOT}/bench/win32/trap_bench.cpp)
target_link_libraries(kvr-trap-bench PRIVATE kvr_platform)
