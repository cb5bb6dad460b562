#pragma once
// The Qt application a fuzz target needs, made once per process: offscreen, and quiet
// (warnings on every input would cost more time than the input itself).

namespace tarnivel::fuzz {

void startGuiApplication();

} // namespace tarnivel::fuzz
