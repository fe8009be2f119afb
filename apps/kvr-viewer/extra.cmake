# kvr-viewer: a desktop window (GLFW) drawn with OpenGL 3 through Dear ImGui's own backends,
# built from the same ImGui source as the mod.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KVR_GLFW REQUIRED IMPORTED_TARGET glfw3)
find_package(OpenGL REQUIRED)
add_library(kvr_imgui_glfw STATIC ${KVR_IMGUI_DIR}/backends/imgui_impl_glfw.cpp
  ${KVR_IMGUI_DIR}/backends/imgui_impl_opengl3.cpp)
target_link_libraries(kvr_imgui_glfw PUBLIC kvr_imgui PkgConfig::KVR_GLFW OpenGL::GL ${CMAKE_DL_LIBS})
set_target_properties(kvr_imgui_glfw PROPERTIES CXX_STANDARD 17)
target_compile_options(kvr_imgui_glfw PRIVATE -w)
target_link_libraries(kvr-viewer PRIVATE kvr_imgui_glfw)
