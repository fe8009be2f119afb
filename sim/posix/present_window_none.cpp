// The simulated engine presents no picture off Windows; kvr-viewer shows the mod's menu there.
#include "sim/present_window.h"

namespace kvr::sim {

bool DrivePresented(mod::CppUserModBase*, World&, const PresentOptions&, int, double,
                    PresentReport&, std::string& error) {
  error = "presenting on a window needs the Windows build (run it under Wine)";
  return false;
}

}  // namespace kvr::sim
