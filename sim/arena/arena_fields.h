// Where the arena's values live in the game's objects, looked up once by reflected name: the
// arena writes thug, player and camera state there every frame, and reads back what the mod
// may change (the avoidance values of the movement components).
#pragma once
#include <string>

#include "aps/aps.h"
#include "sim/game_classes.h"

namespace kvr::sim {

struct ArenaFields {
  // thug pawns
  const Property* health = nullptr;
  const Property* maxHealth = nullptr;
  const Property* alive = nullptr;  // bIsAlive, a bitfield
  const Property* weightClass = nullptr;
  const Property* aggroToken = nullptr;
  const Property* fear = nullptr;
  const Property* fearThreshold = nullptr;
  // player pawn
  const Property* healthChunk = nullptr;
  // possession
  const Property* controllerPawn = nullptr;  // the controller's Pawn
  const Property* pawnController = nullptr;  // the pawn's Controller
  // components
  const Property* location = nullptr;  // RelativeLocation
  const Property* rotation = nullptr;  // RelativeRotation
  const Property* velocity = nullptr;
  const Property* maxWalkSpeed = nullptr;
  const Property* useRvo = nullptr;  // bUseRVOAvoidance, a bitfield
  const Property* rvoRadius = nullptr;
  const Property* rvoWeight = nullptr;
  // camera
  const Property* viewLocation = nullptr;
  const Property* viewRotation = nullptr;
  const Property* fov = nullptr;
  const Property* aspectRule = nullptr;

  // False with the missing name when a class lacks one of them.
  bool Resolve(const GameClasses& g, std::string& error);
};

template <typename T>
T& FieldAt(UObject* object, const Property* p) {
  return *reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(object) + p->offset);
}

inline void SetFlag(UObject* object, const Property* p, bool on) {
  unsigned char& byte = reinterpret_cast<unsigned char*>(object)[p->offset + p->byteOffset];
  byte = on ? static_cast<unsigned char>(byte | p->fieldMask)
            : static_cast<unsigned char>(byte & ~p->fieldMask);
}

inline bool GetFlag(const UObject* object, const Property* p) {
  return (reinterpret_cast<const unsigned char*>(object)[p->offset + p->byteOffset] &
          p->fieldMask) != 0;
}

}  // namespace kvr::sim
