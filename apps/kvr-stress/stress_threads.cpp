#include "stress_threads.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <random>
#include <string>

#include "imgui.h"
#include "overlay/menu.h"
#include "overlay/overlay_frame.h"
#include "overlay/render_copies.h"

namespace kvr::stress {

namespace {

constexpr size_t kMostOwnThugs = 4;

void Nap(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace

// --- the churn thread --------------------------------------------------------------------------

ChurnThread::ChurnThread(sim::World& world, const sim::GameClasses& classes, uint64_t seed)
    : world_(world), classes_(classes), seed_(seed) {
  // Possession changes on the game thread, as in the engine.
  hook_ = world_.AddFrameHook([this](sim::World& w, double) {
    std::lock_guard<std::mutex> lock(unpossessLock_);
    for (host::UObject* controller : unpossess_)
      *w.Field<host::UObject*>(controller, L"Pawn") = nullptr;
    unpossess_.clear();
  });
  thread_ = std::thread([this] { Run(); });
}

ChurnThread::~ChurnThread() {
  Stop();
}

void ChurnThread::Stop() {
  if (stop_.exchange(true) || !thread_.joinable()) return;
  thread_.join();
  world_.RemoveFrameHook(hook_);
  // Everything of its own goes but two fresh thugs, which the mod must find and keep.
  for (Own& own : own_) {
    own.order = 0;
    Retire(own);
  }
  own_.clear();
  for (int i = 0; i < 2; ++i) {
    if (Create()) survivors_.push_back(own_.back().parts.controller);
  }
}

void ChurnThread::Take(StressReport& r) const {
  r.thugsCreated = created_;
  r.thugsDestroyed = destroyed_;
  r.arenaControllersDestroyed = arenaControllers_;
}

bool ChurnThread::IsOwn(const host::UObject* object) const {
  return std::any_of(own_.begin(), own_.end(), [object](const Own& o) {
    const sim::ThugObjects& p = o.parts;
    return object == p.controller || object == p.pawn || object == p.root || object == p.movement;
  });
}

void ChurnThread::Run() {
  std::mt19937 rng(static_cast<uint32_t>(seed_ * 7919u + 17u));
  while (!stop_.load()) {
    const uint64_t frame = world_.FrameCount();
    for (Own& own : own_) {
      if (own.parts.controller && frame >= own.retireAtFrame) Retire(own);
    }
    std::erase_if(own_, [](const Own& o) { return !o.parts.controller; });
    if (own_.size() < kMostOwnThugs && rng() % 3 == 0 && Create()) {
      own_.back().retireAtFrame = frame + 5 + rng() % 90;
      own_.back().order = static_cast<int>(rng() % 3);
    }
    if (rng() % 8 == 0) DestroyArenaController();
    Nap(1 + static_cast<int>(rng() % 8));
  }
}

bool ChurnThread::Create() {
  static sim::Class* sim::GameClasses::*const kControllers[] = {
      &sim::GameClasses::baseAIController, &sim::GameClasses::armedAIController,
      &sim::GameClasses::bossAIController};
  static sim::Class* sim::GameClasses::*const kPawns[] = {
      &sim::GameClasses::thug, &sim::GameClasses::armedThug, &sim::GameClasses::bossThug};
  const size_t kind = serial_ % 3;
  const std::wstring name = L"Churned_" + std::to_wstring(++serial_);
  const float offset = static_cast<float>(serial_ % 20) * 40.0f;
  Own own;
  own.parts = sim::SpawnThug(world_, classes_, *(classes_.*kControllers[kind]),
                             *(classes_.*kPawns[kind]), name, {offset, -offset, 0.0f});
  if (!own.parts.controller) return false;
  ++created_;
  own_.push_back(own);
  return true;
}

// The orders the engine destroys a thug in: the controller first (a level streamed out), the
// pawn unpossessed on the game thread, then it and its components and the controller later (a
// death), or everything marked pending kill first and freed by a later collection. As in the
// engine, nothing live points at an object when its delete notice comes: the engine unpossesses
// a pawn before it goes.
void ChurnThread::Retire(Own& own) {
  sim::ThugObjects& p = own.parts;
  switch (own.order) {
    case 1: {
      {
        std::lock_guard<std::mutex> lock(unpossessLock_);
        unpossess_.push_back(p.controller);
      }
      const uint64_t until = world_.FrameCount() + 2;
      while (world_.FrameCount() < until) Nap(1);
      for (host::UObject* part : {p.pawn, p.movement, p.root}) world_.Destroy(part);
      Nap(2);
      world_.Destroy(p.controller);
      break;
    }
    case 2:
      for (host::UObject* part : {p.controller, p.pawn, p.root, p.movement})
        world_.MarkPendingKill(part);
      Nap(3);
      sim::DestroyThug(world_, p);
      break;
    default:
      sim::DestroyThug(world_, p);
      break;
  }
  p = {};
  ++destroyed_;
}

// A controller of the arena's, destroyed from this thread (its pawn is still possessed, so it is
// left to the arena, which discards it and brings a successor).
void ChurnThread::DestroyArenaController() {
  std::vector<host::UObject*> found;
  world_.FindAllOf(L"BP_BaseAIController_C", found);
  std::erase_if(found, [this](host::UObject* o) {
    return !o || IsOwn(o) || (world_.GetObjectFlags(o) & host::kObjectFlagClassDefault);
  });
  if (found.empty()) return;
  if (world_.Destroy(found[arenaControllers_ % found.size()])) ++arenaControllers_;
}

// --- the render thread -------------------------------------------------------------------------

RenderThread::RenderThread(ModState& shared) : shared_(shared), thread_([this] { Run(); }) {}

RenderThread::~RenderThread() {
  Stop();
}

void RenderThread::Stop() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
}

void RenderThread::Take(StressReport& r) const {
  r.overlayFrames = frames_;
  r.snapshotsSeen = snapshots_;
  r.requestsRaised = requests_;
  r.switchFlips = flips_;
  r.hookCalls = hookCalls_;
}

void RenderThread::Run() {
  ImGuiContext* context = ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.DisplaySize = ImVec2(1280, 800);
  io.DeltaTime = 1.0f / 60.0f;
  unsigned char* pixels = nullptr;
  int w = 0, h = 0;
  io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
  overlay::ConfigureOverlayContext();
  overlay::RenderCopies copies;
  overlay::OverlayInput input;
  std::atomic<uint32_t>* const requests[] = {
      &shared_.requestSaveSettings, &shared_.requestReloadSettings, &shared_.requestSaveBrain,
      &shared_.requestResetBrain, &shared_.requestEvolveNow};
  const game::MenuSnapshot* lastSnapshot = nullptr;
  bool overlayOn = false;
  for (uint64_t frame = 1; !stop_.load(); ++frame) {
    input.menuOpen = true;
    const overlay::FramePlan plan = overlay::BeginOverlayFrame(shared_, copies, input);
    overlay::BuildOverlayFrame(shared_, copies, input, plan);
    ++frames_;
    if (copies.snapshot.get() != lastSnapshot) {
      lastSnapshot = copies.snapshot.get();
      ++snapshots_;
      hookCalls_ = copies.Snapshot().hookCalls;
    }
    // The route overlay on from the start (the copies hold the mod's settings by then), as a
    // player watching the routes would have it.
    if (!overlayOn && copies.settingsVersion > 0) {
      copies.settings.ShowPathOverlay = true;
      overlay::PushSettingsToShared(copies, shared_);
      overlayOn = true;
    }
    // A menu button: one request every 20 frames, each in turn.
    if (frame % 20 == 0) {
      requests[(frame / 20) % 5]->store(1);
      ++requests_;
    }
    // The master switch off for a while, then on again, through the settings record.
    if (frame % 150 == 0 || (frame % 150 == 40 && !copies.settings.Enabled)) {
      copies.settings.Enabled = !copies.settings.Enabled;
      overlay::PushSettingsToShared(copies, shared_);
      ++flips_;
    }
    overlay::FinishOverlayFrame(shared_, copies);
    Nap(2);
  }
  overlay::CopySharedState(shared_, copies, input, false);
  if (!copies.settings.Enabled) {
    copies.settings.Enabled = true;
    overlay::PushSettingsToShared(copies, shared_);
    overlay::FinishOverlayFrame(shared_, copies);
    ++flips_;
  }
  ImGui::DestroyContext(context);
}

}  // namespace kvr::stress
