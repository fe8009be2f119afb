#include "host/mod_state.h"

namespace kvr {

ModState& ModState::Get() {
  static ModState state;
  return state;
}

}  // namespace kvr
