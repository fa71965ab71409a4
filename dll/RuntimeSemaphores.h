#pragma once

// Closes, when the DLL is unloaded, the semaphores that the C++ runtime's
// mutexes created for the life of the module. Called once, at process detach.
void CloseRuntimeSemaphores();
