// The settings table: one row per setting, in file and menu order.
// X(section, key, type, default, min, max, help). Row order is the identity of a setting.
// Included by settings.h and settings.cpp only.
#pragma once

// clang-format off
#define KVR_SETTINGS_ROWS(X) \
  X(General, Enabled, Bool, 1, 0, 1, \
    "Master switch. 1 = on. 0 = the mod steps aside completely: vanilla pathfinding, no learning, local avoidance restored.") \
  X(General, MenuKey, Key, 120, 1, 254, \
    "Key that opens/closes the in-game menu. Default F9. Do NOT use F5/F6 (Glintmark), F7/F8 (KorvathPalimarThugs) or F11 (the engine's fullscreen toggle).") \
  X(General, AffectBosses, Bool, 1, 0, 1, \
    "1 = boss thugs also get the enhanced pathfinding and neural tactics. 0 = bosses stay vanilla.") \
  X(General, BlockGameInputWhileMenuOpen, Bool, 1, 0, 1, \
    "1 = while the menu is open your mouse/keyboard only drive the menu (the game does not also react). 0 = both receive input.") \
  X(General, MenuScale, Float, 1, 0.75, 2.5, \
    "Size of the in-game menu text. 1.0 = normal, 1.5 = big (good for 4K).") \
  X(General, VerboseLog, Bool, 0, 0, 1, \
    "1 = write a line to UE4SS.log for every reshaped path and every learning episode (for troubleshooting).") \
  X(Pathfinding, ArcPaths, Bool, 1, 0, 1, \
    "Reshape thug routes with the Adaptive Pathfinding System 'APS Arc' algorithm: curved, spread-out approach lanes instead of everyone walking the same straight line.") \
  X(Pathfinding, MinArcDistance, Float, 300, 0, 5000, \
    "Moves shorter than this (cm) keep the plain engine route. APS's own default is 300 (3 m).") \
  X(Pathfinding, ArcAmplitude, Float, 0.35, 0.05, 0.8, \
    "How far an arc may bend, as a fraction of the trip length (APS 'AmpFrac', default 0.35).") \
  X(Pathfinding, ArcStrengthScale, Float, 1, 0.25, 3, \
    "Multiplier on every approach style's arc strength. Higher = wider flanks. APS caps the final strength at 3.") \
  X(Pathfinding, MultiSegmentFalloff, Float, 0.4, 0.1, 1, \
    "Weave styles: each extra hump uses the previous strength times this (APS 'Falloff', default 0.4).") \
  X(Pathfinding, MaxStretchFirstArc, Float, 0.6, 0.05, 3, \
    "Weave styles: the first hump may make the route at most this much longer (0.6 = +60%, APS default).") \
  X(Pathfinding, MaxStretchExtraArc, Float, 0.25, 0.05, 3, \
    "Weave styles: each later hump may add at most this much length (0.25 = +25%, APS default).") \
  X(Pathfinding, ClearanceProbes, Int, 8, 4, 16, \
    "How many navmesh probes are used to measure free space around an arc apex (APS uses 8).") \
  X(Pathfinding, ClearanceRadiusScale, Float, 1.5, 0.5, 4, \
    "Free-space probe ring radius = agent radius x this (minimum 40 cm). APS uses 1.5.") \
  X(Pathfinding, ScoreClearance, Float, 2, 0, 10, \
    "Arc scoring: reward for open space around the apex (APS weight 2.0).") \
  X(Pathfinding, ScoreAngle, Float, 1, 0, 10, \
    "Arc scoring: APS's apex-bend term (APS weight 1.0; it favours a clearly visible bend at the apex).") \
  X(Pathfinding, ScoreBack, Float, 3, 0, 20, \
    "Arc scoring: penalty for any part of the arc that walks backwards (APS weight 3.0).") \
  X(Pathfinding, ScoreWrongSide, Float, 5, 0, 50, \
    "Arc scoring: penalty when the navmesh pushes the apex to the other side than requested (APS weight 5.0).") \
  X(Pathfinding, LineOfSightShortcuts, Bool, 1, 0, 1, \
    "Pull the route tight wherever the navmesh has clear line of sight (APS string pulling), never across the arc apex.") \
  X(Pathfinding, CollinearDot, Float, 0.99, 0.9, 0.99999, \
    "Drop route points that are almost in a straight line (APS 0.99). The mod also navmesh-checks every removal.") \
  X(Pathfinding, MaxReshapesPerFrame, Int, 2, 1, 16, \
    "Performance cap: at most this many routes are reshaped per frame; extra requests keep the engine route.") \
  X(Pathfinding, FrameBudgetMs, Float, 4, 0.5, 25, \
    "Performance cap: stop reshaping for the rest of the frame once this many milliseconds were spent.") \
  X(Pathfinding, StickySeconds, Float, 2.5, 0, 15, \
    "When the game re-plans the same move (e.g. the target walked a bit), keep the chosen approach style for this long.") \
  X(Pathfinding, StickyGoalRadius, Float, 200, 0, 2000, \
    "...as long as the new destination is within this many cm of the old one.") \
  X(Avoidance, LocalAvoidance, Bool, 1, 0, 1, \
    "Turn on Unreal's built-in RVO local avoidance for thugs so they steer around each other instead of bumping. Original values are restored when off.") \
  X(Avoidance, AvoidanceRadius, Float, 350, 50, 2000, \
    "How far (cm) a thug looks for other thugs to steer around.") \
  X(Avoidance, AvoidanceWeight, Float, 0.5, 0, 1, \
    "How much a thug gives way to others (0 = never yields, 1 = always yields).") \
  X(NeuralNet, NeuralTactics, Bool, 1, 0, 1, \
    "1 = a learning neural network picks each thug's approach style. 0 = styles are picked by a simple 'take the emptier side' rule.") \
  X(NeuralNet, HiddenLayer1, Int, 16, 2, 64, \
    "Neurons in the first hidden layer. Changing the network shape starts a fresh brain.") \
  X(NeuralNet, HiddenLayer2, Int, 12, 0, 64, \
    "Neurons in the second hidden layer (0 = only one hidden layer). Changing the network shape starts a fresh brain.") \
  X(NeuralNet, HiddenActivation, Enum, 2, 0, 2, \
    "Hidden-layer activation: 0 = Sigmoid, 1 = ReLU, 2 = Tanh. The output layer is always Sigmoid (rewards are 0..1).") \
  X(NeuralNet, InitMode, Enum, 1, 0, 1, \
    "Starting weights for a fresh brain: 0 = the plugin's original uniform -1..1, 1 = Xavier/Glorot (trains faster).") \
  X(NeuralNet, LearningRate, Float, 0.05, 0.0001, 1, \
    "Backpropagation learning rate (the plugin's Train() LearningRate).") \
  X(NeuralNet, Momentum, Float, 0.9, 0, 0.99, \
    "Momentum for training (0 = the plugin's plain gradient descent).") \
  X(NeuralNet, L2, Float, 0.0001, 0, 0.05, \
    "Weight decay that keeps weights small and stops over-confidence (0 = off, like the plugin).") \
  X(NeuralNet, GradientClip, Float, 1, 0.01, 100, \
    "Largest allowed change signal per weight per step; protects against one freak episode wrecking the brain.") \
  X(NeuralNet, ReplaySize, Int, 512, 0, 8192, \
    "How many past episodes are remembered for re-training (experience replay). 0 = off.") \
  X(NeuralNet, ReplayPerEpisode, Int, 6, 0, 64, \
    "How many remembered episodes are re-trained after every new one.") \
  X(NeuralNet, ExploreStart, Float, 0.3, 0, 1, \
    "Chance to try a random style instead of the best-known one, for a brand-new brain (0.30 = 30%).") \
  X(NeuralNet, ExploreMin, Float, 0.05, 0, 1, \
    "Exploration never drops below this, so thugs keep surprising you.") \
  X(NeuralNet, ExploreDecayEpisodes, Int, 600, 1, 1000000, \
    "Over this many learning episodes exploration slides from ExploreStart down to ExploreMin.") \
  X(NeuralNet, Population, Int, 8, 1, 32, \
    "How many different brains (genomes) compete. Each thug is given one. Changing it starts a fresh population.") \
  X(NeuralNet, EvolveEveryEpisodes, Int, 48, 4, 100000, \
    "Run one generation of neuroevolution after this many episodes.") \
  X(NeuralNet, MinEpisodesToRank, Int, 4, 1, 1000, \
    "A genome needs at least this many episodes before it can be ranked, kept or replaced.") \
  X(NeuralNet, Elites, Int, 2, 0, 31, \
    "Best genomes copied unchanged into the next generation.") \
  X(NeuralNet, TournamentSize, Int, 3, 1, 8, \
    "Parents are picked by tournament: the best of this many random ranked genomes.") \
  X(NeuralNet, MutationType, Enum, 4, 0, 4, \
    "Plugin mutation operator: 0 = Shuffle, 1 = Reweight, 2 = Shift, 3 = Multiply (x0.9..1.1), 4 = Increment (+-0.1).") \
  X(NeuralNet, MutationRate, Float, 0.06, 0, 1, \
    "Fraction of weights touched by one mutation (the plugin's MutationRate).") \
  X(NeuralNet, CrossoverType, Enum, 1, 0, 1, \
    "Plugin crossover operator: 0 = Average, 1 = Weighted (random blend factor).") \
  X(NeuralNet, SaveBrain, Bool, 1, 0, 1, \
    "1 = the learned brain is saved to brain.kvrb and keeps improving across play sessions.") \
  X(NeuralNet, AutosaveSeconds, Float, 120, 10, 3600, \
    "How often the brain is saved while playing (it is also saved when the game closes).") \
  X(Rewards, EpisodeSeconds, Float, 6, 1, 30, \
    "A learning episode = one chosen approach, judged for at most this many seconds.") \
  X(Rewards, WeightProgress, Float, 1, 0, 5, \
    "Reward for actually closing the distance to the destination.") \
  X(Rewards, WeightDamageTaken, Float, 1.5, 0, 10, \
    "Penalty for the thug's own health lost during the approach (fraction of max health).") \
  X(Rewards, WeightPlayerHit, Float, 1, 0, 10, \
    "Reward per player health chunk lost while this thug was close to you.") \
  X(Rewards, PlayerHitRadius, Float, 260, 50, 1500, \
    "How close (cm) a thug must be to share the credit when you lose a health chunk.") \
  X(Rewards, WeightSpacing, Float, 0.5, 0, 5, \
    "Reward for not clumping up with other thugs.") \
  X(Rewards, SpacingDistance, Float, 120, 20, 600, \
    "Distance (cm) to the nearest other thug that counts as 'not clumped'.") \
  X(Rewards, RewardSharpness, Float, 1.5, 0.1, 10, \
    "How strongly the raw score is squashed into the 0..1 reward the network learns.") \
  X(Debug, ShowPathOverlay, Bool, 0, 0, 1, \
    "Draw every thug's current route on screen, coloured by approach style (see it for yourself).") \
  X(Debug, OverlayMaxDistance, Float, 4000, 500, 20000, \
    "Routes of thugs further than this (cm) from the camera are not drawn.")
// clang-format on
