// A play run presented on the stand-in host's window (Windows builds): the mod loaded as the mod
// host loads it, starting once the window presents, the arena played while the script does what
// a player does, and after every shot a file beside the picture telling where the picture
// should show the thugs' routes (PATH.txt: the live thugs, how many avoid, one "route" line per
// route the overlay draws, projected the overlay's way from the player's camera).
#pragma once
#include <string>

#include "sim/arena/play.h"
#include "sim/present_window.h"

namespace kvr::sim {

// Plays at least options.minutes of simulated time (longer when the script needs it). The
// mod folder's config.ini gets ShowPathOverlay = 1 besides VerboseLog = 1, and no engine
// threads plan beside the game thread (a route in the picture is the one the thug walks).
// False with a reason when the run cannot start or a script step fails.
bool RunPlayPresented(const PlayOptions& options, const PresentOptions& present, PlayReport& report,
                      PresentReport& presented, std::string& error);

}  // namespace kvr::sim
