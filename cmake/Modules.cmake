# Targets are made from folders, so adding a source file never needs an edit here.
#   platform/   kvr_platform   (posix/ or win32/ by target)
#   src/        kvr_core       (every */win32/* file only in the Windows build)
#   sim/        kvr_sim        simulated engine
#   apps/<x>/   one executable per folder
#   tests/      kvr-tests      (tests/win32/ only on Windows, tests/posix/ only elsewhere)
#   src/*/win32/msvc/, tests/msvc_host/: Microsoft C++ ABI pieces, see MsvcAbi.cmake
#   bench/      kvr-bench;  fuzz/<x>.cpp  one libFuzzer target each

function(kvr_glob out)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${ARGN})
  set(${out} ${files} PARENT_SCOPE)
endfunction()

function(kvr_split_os out)
  set(kept)
  foreach(f ${ARGN})
    if(f MATCHES "/win32/")
      if(WIN32)
        list(APPEND kept ${f})
      endif()
    elseif(f MATCHES "/posix/")
      if(NOT WIN32)
        list(APPEND kept ${f})
      endif()
    else()
      list(APPEND kept ${f})
    endif()
  endforeach()
  set(${out} ${kept} PARENT_SCOPE)
endfunction()

set(KVR_WARNINGS -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)

# Unity builds: a target's files are compiled in batches, so the big headers they share
# (GoogleTest, CLI11) are parsed, and their inline code compiled, once per batch instead of
# once per file. That is most of a clean build's time. Turn it off for one object per file
# (quicker rebuilds while editing a few files, or to find a name two files both define).
option(KVR_UNITY_BUILD "Compile the libraries, tests and tools in batches of files" ON)
function(kvr_unity target batch)
  if(KVR_UNITY_BUILD)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${batch})
  endif()
endfunction()

# --- platform ---------------------------------------------------------------
kvr_glob(platform_all ${KVR_ROOT}/platform/*.cpp)
kvr_split_os(platform_src ${platform_all})
add_library(kvr_platform STATIC ${platform_src})
target_include_directories(kvr_platform PUBLIC ${KVR_ROOT})
target_compile_options(kvr_platform PRIVATE ${KVR_WARNINGS})
set_target_properties(kvr_platform PROPERTIES POSITION_INDEPENDENT_CODE ON)
if(NOT WIN32)
  target_link_libraries(kvr_platform PUBLIC ${CMAKE_DL_LIBS} pthread)
else()
  include(cmake/SehGuard.cmake)
endif()

# --- the portable mod -------------------------------------------------------
kvr_glob(core_all ${KVR_ROOT}/src/*.cpp)
list(FILTER core_all EXCLUDE REGEX "/win32/")
list(FILTER core_all EXCLUDE REGEX "/src/mod/exports\\.cpp$")
list(FILTER core_all EXCLUDE REGEX "/imgui_glue/")  # built into kvr_imgui
# The mod object installs the overlay, so the overlay's Windows layer is part of kvr_core there
# (src/overlay/posix stands in for it elsewhere).
kvr_glob(overlay_win32 ${KVR_ROOT}/src/overlay/win32/*.cpp)
kvr_split_os(core_all ${core_all} ${overlay_win32})
add_library(kvr_core STATIC ${core_all})
target_include_directories(kvr_core PUBLIC ${KVR_ROOT}/src ${KVR_ROOT})
target_link_libraries(kvr_core PUBLIC kvr_platform kvr_imgui)
target_compile_options(kvr_core PRIVATE ${KVR_WARNINGS})
set_target_properties(kvr_core PROPERTIES POSITION_INDEPENDENT_CODE ON)
kvr_unity(kvr_core 8)

# --- the mod module: main.dll on Windows, libkvr_mod.so elsewhere -------------
kvr_glob(mod_win32 ${KVR_ROOT}/src/*/win32/*.cpp)
list(FILTER mod_win32 EXCLUDE REGEX "/src/overlay/")  # part of kvr_core
list(FILTER mod_win32 EXCLUDE REGEX "/win32/msvc/")  # built for the MSVC ABI (MsvcAbi.cmake)
if(NOT WIN32)
  set(mod_win32)
endif()
add_library(kvr_mod SHARED ${KVR_ROOT}/src/mod/exports.cpp ${mod_win32})
target_link_libraries(kvr_mod PRIVATE kvr_core)
target_compile_options(kvr_mod PRIVATE ${KVR_WARNINGS})
set_target_properties(kvr_mod PROPERTIES CXX_VISIBILITY_PRESET hidden)
if(WIN32)
  target_link_libraries(kvr_mod PRIVATE kvr_imgui)
  set_target_properties(kvr_mod PROPERTIES OUTPUT_NAME main PREFIX "")
else()
  # The mod's own copies of shared code must never bind to a host program's copies.
  target_link_options(kvr_mod PRIVATE -Wl,-Bsymbolic)
endif()

# Programs that act as the mod host export the one function the mod looks up in them.
function(kvr_export_host_interface target)
  if(NOT WIN32)
    target_link_options(${target} PRIVATE -Wl,--export-dynamic-symbol=kvr_host_interface)
  endif()
endfunction()

# --- simulated engine ---------------------------------------------------------
kvr_glob(sim_all ${KVR_ROOT}/sim/*.cpp)
kvr_split_os(sim_src ${sim_all})
if(sim_src)
  add_library(kvr_sim STATIC ${sim_src})
  target_include_directories(kvr_sim PUBLIC ${KVR_ROOT})
  target_link_libraries(kvr_sim PUBLIC kvr_core kvr_detour kvr_recast kvr_headeronly)
  target_compile_options(kvr_sim PRIVATE ${KVR_WARNINGS})
  target_compile_definitions(kvr_sim PUBLIC KVR_DATA_DIR="${KVR_ROOT}/data")
  kvr_unity(kvr_sim 8)
  set(KVR_SIM kvr_sim)
endif()

# --- command-line tools -------------------------------------------------------
if(KVR_BUILD_APPS)
  file(GLOB app_dirs LIST_DIRECTORIES true ${KVR_ROOT}/apps/*)
  foreach(dir ${app_dirs})
    if(NOT IS_DIRECTORY ${dir})
      continue()
    endif()
    get_filename_component(app ${dir} NAME)
    kvr_glob(app_all ${dir}/*.cpp)
    kvr_split_os(app_src ${app_all})
    if(NOT app_src OR (WIN32 AND EXISTS ${dir}/.native-only))
      continue()
    endif()
    add_executable(${app} ${app_src})
    kvr_unity(${app} 8)
    target_link_libraries(${app} PRIVATE kvr_core ${KVR_SIM} kvr_headeronly)
    target_compile_options(${app} PRIVATE ${KVR_WARNINGS})
    if(${app} STREQUAL "kvr-sim")
      kvr_export_host_interface(${app})
      add_dependencies(${app} kvr_mod)
    endif()
    if(EXISTS ${dir}/extra.cmake)
      include(${dir}/extra.cmake)
    endif()
  endforeach()
endif()

# --- tests ---------------------------------------------------------------------
if(KVR_BUILD_TESTS)
  enable_testing()
  kvr_glob(tests_all ${KVR_ROOT}/tests/*.cpp)
  list(FILTER tests_all EXCLUDE REGEX "/tests/msvc_host/")  # programs of their own (MsvcAbi.cmake)
  kvr_split_os(tests_src ${tests_all})
  add_executable(kvr-tests ${tests_src})
  target_include_directories(kvr-tests PRIVATE ${KVR_ROOT}/tests)
  target_link_libraries(kvr-tests PRIVATE kvr_core ${KVR_SIM} kvr_headeronly GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_options(kvr-tests PRIVATE ${KVR_WARNINGS})
  kvr_unity(kvr-tests 8)
  if(NOT WIN32)
    # Most of a test file's compile time is parsing GoogleTest's headers: parse them once.
    target_precompile_headers(kvr-tests PRIVATE <gtest/gtest.h> <gmock/gmock.h>)
  endif()
  target_compile_definitions(kvr-tests PRIVATE KVR_SOURCE_DIR="${KVR_ROOT}"
    KVR_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(kvr-tests kvr_mod)
  if(TARGET kvr-stress)
    add_dependencies(kvr-tests kvr-stress)  # tests/posix/kvr_stress_test.cpp runs it
  endif()
  if(WIN32)
    kvr_add_seh_source(kvr-tests ${KVR_ROOT}/tests/win32/own_handler_seh.c)
  endif()
  kvr_export_host_interface(kvr-tests)
  if(NOT WIN32)
    include(GoogleTest)
    gtest_discover_tests(kvr-tests DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT
      "KVR_BINARY_DIR=${CMAKE_BINARY_DIR}")
  endif()
endif()

# --- benchmarks ----------------------------------------------------------------
if(KVR_BUILD_BENCH)
  find_package(benchmark REQUIRED)
  kvr_glob(bench_src ${KVR_ROOT}/bench/*.cpp)
  kvr_split_os(bench_src ${bench_src})
  if(bench_src)
    add_executable(kvr-bench ${bench_src})
    target_link_libraries(kvr-bench PRIVATE kvr_core ${KVR_SIM} kvr_headeronly benchmark::benchmark)
  endif()
endif()

# --- fuzz targets (clang) ---------------------------------------------------------
if(KVR_BUILD_FUZZ)
  # The code under test needs the fuzzer's coverage instrumentation, not only the targets; the
  # simulator's file loaders (levels, navmeshes) and Recast/Detour behind them are fuzzed too.
  # Undefined behaviour stops the run like a crash, so that it counts as a finding.
  set(KVR_FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined)
  foreach(lib kvr_core kvr_platform ${KVR_SIM} kvr_detour kvr_recast)
    target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link ${KVR_FUZZ_FLAGS})
  endforeach()
  file(GLOB fuzz_src ${KVR_ROOT}/fuzz/*.cpp)
  foreach(f ${fuzz_src})
    get_filename_component(name ${f} NAME_WE)
    add_executable(${name} ${f})
    target_link_libraries(${name} PRIVATE kvr_core ${KVR_SIM} kvr_headeronly)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer ${KVR_FUZZ_FLAGS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer ${KVR_FUZZ_FLAGS})
  endforeach()
endif()
