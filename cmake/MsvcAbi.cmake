# Code built for the Microsoft C++ ABI by clang (x86_64-pc-windows-msvc), Windows builds only:
#   - the one frame main.dll calls the MSVC-built mod host through (src/ue4ss/win32/msvc/), which
#     can catch the host's C++ exceptions; it is linked into main.dll like any other object;
#   - for the tests, a stand-in for the mod host's DLL (tests/msvc_host/standin/) in two builds,
#     one with every export and one lacking an export, and the programs that drive it.
# There are no MSVC headers or libraries here: these sources include none, and the import
# libraries are made from the .def files next to them by llvm-dlltool.
if(NOT WIN32)
  return()
endif()

find_program(KVR_MSVC_CLANG NAMES clang++ clang++-14 REQUIRED)
find_program(KVR_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)
find_program(KVR_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)

set(KVR_MSVC_DIR ${CMAKE_BINARY_DIR}/msvc_abi)
set(KVR_MSVC_HOST_DIR ${CMAKE_BINARY_DIR}/msvc_host)
file(MAKE_DIRECTORY ${KVR_MSVC_DIR} ${KVR_MSVC_HOST_DIR}/full ${KVR_MSVC_HOST_DIR}/lacking)
set(KVR_MSVC_FLAGS --target=x86_64-pc-windows-msvc -std=c++20 -O2 -ffreestanding
  -fno-stack-protector -Wall -Wextra -Wno-unused-parameter)

# One object for the MSVC ABI: kvr_msvc_object(<out var> <source> NAME <name> [DEFINES ...])
function(kvr_msvc_object out source)
  cmake_parse_arguments(ARG "" "NAME" "DEFINES" ${ARGN})
  set(obj ${KVR_MSVC_DIR}/${ARG_NAME}.obj)
  list(TRANSFORM ARG_DEFINES PREPEND -D)
  add_custom_command(OUTPUT ${obj}
    COMMAND ${KVR_MSVC_CLANG} ${KVR_MSVC_FLAGS} ${ARG_DEFINES} -MD -MF ${obj}.d -c ${source} -o ${obj}
    DEPENDS ${source} DEPFILE ${obj}.d
    COMMENT "MSVC ABI: ${ARG_NAME}" VERBATIM)
  set(${out} ${obj} PARENT_SCOPE)
endfunction()

# --- main.dll's catching frame ---------------------------------------------------------------------
kvr_msvc_object(KVR_CATCH_FRAME_OBJ ${KVR_ROOT}/src/ue4ss/win32/msvc/catch_frame.cpp NAME catch_frame)
target_sources(kvr_mod PRIVATE ${KVR_CATCH_FRAME_OBJ})

if(NOT KVR_BUILD_TESTS)
  return()
endif()

# --- the stand-in mod host: <build>/msvc_host/{full,lacking}/UE4SS.dll ------------------------------
set(standin_dir ${KVR_ROOT}/tests/msvc_host/standin)
set(import_libs)
foreach(name kernel32 ucrtbase vcruntime140)
  set(lib ${KVR_MSVC_DIR}/${name}.lib)
  add_custom_command(OUTPUT ${lib}
    COMMAND ${KVR_LLVM_DLLTOOL} -m i386:x86-64 -d ${standin_dir}/${name}.def -l ${lib}
    DEPENDS ${standin_dir}/${name}.def VERBATIM)
  list(APPEND import_libs ${lib})
endforeach()

set(standin_dlls)
foreach(variant full lacking)
  set(defines)
  if(variant STREQUAL "lacking")
    set(defines KVR_STANDIN_LACKS_FIND_OBJECT)
  endif()
  kvr_msvc_object(obj ${standin_dir}/ue4ss_standin.cpp NAME ue4ss_standin_${variant}
    DEFINES ${defines})
  set(dll ${KVR_MSVC_HOST_DIR}/${variant}/UE4SS.dll)
  add_custom_command(OUTPUT ${dll}
    COMMAND ${KVR_LLD_LINK} /nologo /dll /noentry /nodefaultlib /machine:x64 /out:${dll}
      ${obj} ${import_libs}
    DEPENDS ${obj} ${import_libs}
    COMMENT "MSVC ABI: stand-in UE4SS.dll (${variant})" VERBATIM)
  list(APPEND standin_dlls ${dll})
endforeach()
add_custom_target(kvr_msvc_standins ALL DEPENDS ${standin_dlls})

# --- the program playing the game around the stand-in, and a mod with the old GCC layout ---------
add_library(kvr_msvc_engine STATIC ${KVR_ROOT}/tests/msvc_host/engine_backend.cpp
  ${KVR_ROOT}/tests/msvc_host/standin_api.cpp)
target_include_directories(kvr_msvc_engine PUBLIC ${KVR_ROOT}/tests/msvc_host)
target_link_libraries(kvr_msvc_engine PUBLIC kvr_core ${KVR_SIM})
target_compile_options(kvr_msvc_engine PRIVATE ${KVR_WARNINGS})

file(GLOB game_src ${KVR_ROOT}/tests/msvc_host/game/*.cpp)
add_executable(kvr-msvc-game ${game_src})
target_link_libraries(kvr-msvc-game PRIVATE kvr_msvc_engine kvr_headeronly)
target_compile_options(kvr-msvc-game PRIVATE ${KVR_WARNINGS})
set_target_properties(kvr-msvc-game PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KVR_MSVC_HOST_DIR})

add_library(kvr_gcc_layout_mod SHARED ${KVR_ROOT}/tests/msvc_host/gcc_layout_mod/mod.cpp)
target_compile_options(kvr_gcc_layout_mod PRIVATE ${KVR_WARNINGS})
set_target_properties(kvr_gcc_layout_mod PROPERTIES OUTPUT_NAME gcc_layout_mod PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${KVR_MSVC_HOST_DIR})

# --- the binding itself, tested in the Windows test program against the stand-in ------------------
file(GLOB binding_src CONFIGURE_DEPENDS ${KVR_ROOT}/src/ue4ss/win32/*.cpp)
target_sources(kvr-tests PRIVATE ${binding_src} ${KVR_CATCH_FRAME_OBJ})
target_link_libraries(kvr-tests PRIVATE kvr_msvc_engine)
add_dependencies(kvr-tests kvr_msvc_standins kvr-msvc-game kvr_gcc_layout_mod)
