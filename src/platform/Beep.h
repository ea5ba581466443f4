#pragma once
// The message beep. Tests replace the sound by a hook that counts.
#include <functional>

namespace plat {

enum class BeepKind { Default, Exclamation, Error };

void Beep(BeepKind kind = BeepKind::Default);
// Replaces the sound; nullptr restores it. Not for use while beeps are being made.
void SetBeepHook(std::function<void(BeepKind)> hook);

} // namespace plat
