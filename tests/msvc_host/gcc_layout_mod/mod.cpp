// A mod whose object is laid out by GCC's own rules, as main.dll's was before its object took
// the host's layout: the base class declares its operations `virtual`, so GCC gives the
// destructor two table slots and every later operation sits one slot further down than where
// the MSVC-built host calls it. It reports what runs on standard output.
#include <windows.h>

#include <string>

namespace {

void Mark(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(lstrlenA(text)), &written,
            nullptr);
}

class CppUserModBase {
 public:
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

class GccLayoutMod final : public CppUserModBase {
 public:
  GccLayoutMod() { ModName = L"GccLayoutMod"; }
  ~GccLayoutMod() override { Mark("gcc layout mod: destructor ran\n"); }
  void on_update() override { Mark("gcc layout mod: on_update ran\n"); }
  void on_unreal_init() override { Mark("gcc layout mod: on_unreal_init ran\n"); }
};

}  // namespace

extern "C" __declspec(dllexport) CppUserModBase* start_mod() {
  return new GccLayoutMod();
}

extern "C" __declspec(dllexport) void uninstall_mod(CppUserModBase* mod) {
  delete mod;
}
