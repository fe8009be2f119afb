# Dear ImGui and Recast/Detour, built from the unpacked Debian source packages so that the
# Linux and the Windows builds use the very same code.
set(KVR_IMGUI_DIR ${KVR_THIRD_PARTY}/imgui)
set(KVR_RECAST_DIR ${KVR_THIRD_PARTY}/recastnavigation)
if(NOT EXISTS ${KVR_IMGUI_DIR}/imgui.h OR NOT EXISTS ${KVR_RECAST_DIR}/Detour/Include/DetourNavMesh.h)
  message(FATAL_ERROR "third_party/ is not ready: run scripts/deps.sh first")
endif()

add_library(kvr_imgui STATIC
  ${KVR_IMGUI_DIR}/imgui.cpp ${KVR_IMGUI_DIR}/imgui_draw.cpp
  ${KVR_IMGUI_DIR}/imgui_tables.cpp ${KVR_IMGUI_DIR}/imgui_widgets.cpp)
target_include_directories(kvr_imgui SYSTEM PUBLIC ${KVR_IMGUI_DIR} ${KVR_IMGUI_DIR}/backends)
# ImGui reports each widget's label and rectangle to the item probe while one is attached (tests
# find widgets by label that way); otherwise the hooks cost one flag test per widget.
target_compile_definitions(kvr_imgui PUBLIC IMGUI_ENABLE_TEST_ENGINE)
target_sources(kvr_imgui PRIVATE ${KVR_ROOT}/src/overlay/imgui_glue/item_probe.cpp)
target_include_directories(kvr_imgui PRIVATE ${KVR_ROOT}/src)
if(WIN32)
  target_sources(kvr_imgui PRIVATE ${KVR_IMGUI_DIR}/backends/imgui_impl_win32.cpp
    ${KVR_IMGUI_DIR}/backends/imgui_impl_dx11.cpp)
  # Direct3D and the window manager are looked up when first used, not imported.
  target_sources(kvr_imgui PRIVATE ${KVR_ROOT}/src/overlay/imgui_glue/win32/graphics_entry_points.cpp)
endif()

file(GLOB KVR_RECAST_SRC ${KVR_RECAST_DIR}/Recast/Source/*.cpp)
add_library(kvr_recast STATIC ${KVR_RECAST_SRC})
target_include_directories(kvr_recast SYSTEM PUBLIC ${KVR_RECAST_DIR}/Recast/Include)

file(GLOB KVR_DETOUR_SRC ${KVR_RECAST_DIR}/Detour/Source/*.cpp)
add_library(kvr_detour STATIC ${KVR_DETOUR_SRC})
target_include_directories(kvr_detour SYSTEM PUBLIC ${KVR_RECAST_DIR}/Detour/Include)

foreach(t kvr_imgui kvr_recast kvr_detour)
  set_target_properties(${t} PROPERTIES CXX_STANDARD 17 POSITION_INDEPENDENT_CODE ON)
  target_compile_options(${t} PRIVATE -w)
endforeach()

if(KVR_BUILD_TESTS OR KVR_BUILD_BENCH)
  if(WIN32)
    # Debian ships GoogleTest as source too; build it for the Windows test program.
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # Test support only: -O1 compiles it in half the time of the release flags.
    foreach(t gtest gtest_main gmock gmock_main)
      target_compile_options(${t} PRIVATE -O1)
    endforeach()
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

# Header-only CLI11 and nlohmann-json from Debian. The cross compiler must not see the
# whole of /usr/include, so only these two folders are linked into a staging folder.
set(KVR_HEADERONLY_DIR ${CMAKE_BINARY_DIR}/headeronly)
file(MAKE_DIRECTORY ${KVR_HEADERONLY_DIR})
foreach(lib CLI nlohmann)
  if(NOT EXISTS ${KVR_HEADERONLY_DIR}/${lib})
    file(CREATE_LINK /usr/include/${lib} ${KVR_HEADERONLY_DIR}/${lib} SYMBOLIC)
  endif()
endforeach()
add_library(kvr_headeronly INTERFACE)
target_include_directories(kvr_headeronly SYSTEM INTERFACE ${KVR_HEADERONLY_DIR})
