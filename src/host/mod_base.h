// Our stand-in for the mod host's mod base class. The virtual operations keep the host's slot
// order (destructor, on_update, on_unreal_init, on_program_start, on_lua_start x2,
// on_lua_stop x2, on_dll_load, render_tab), so the host calls the right entries through the
// object it gets from start_mod.
#pragma once
#include <string>

namespace kvr::host {

class CppUserModBase {
 public:
  CppUserModBase() = default;
  CppUserModBase(const CppUserModBase&) = delete;
  CppUserModBase& operator=(const CppUserModBase&) = delete;
  virtual ~CppUserModBase() = default;
  virtual void on_update() {}
  virtual void on_unreal_init() {}
  virtual void on_program_start() {}
  virtual void on_lua_start(const std::wstring&, void*, void*, void*) {}
  virtual void on_lua_start(void*, void*, void*) {}
  virtual void on_lua_stop(const std::wstring&, void*, void*, void*) {}
  virtual void on_lua_stop(void*, void*, void*) {}
  virtual void on_dll_load(const std::wstring&) {}
  virtual void render_tab() {}

  std::wstring ModName;
  std::wstring ModVersion;
  std::wstring ModDescription;
  std::wstring ModAuthors;
};

}  // namespace kvr::host
