#pragma once

// Gives back, when the DLL is unloaded, what the C++ runtime's exception
// support took for the life of the module: the per-thread exception state and
// the emergency exception pool. Called once, at process detach.
void ReleaseExceptionState();
