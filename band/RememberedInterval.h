#pragma once
#include <windows.h>

// The interval that "&Remember Settings" keeps for the current user and that
// every band reads back when it is connected to its site. Where and how it is
// kept is this file's business alone. Every failure is silent: a setting that
// cannot be read leaves the band as it was, one that cannot be written leaves
// the stored one as it was.
//
// The browser runs most tabs at low integrity or in an AppContainer, where
// the current user's own key may be read but not written. The interval then
// goes to every place the process may write, and loading takes the most
// recently remembered one of every place the process may read.

// Hands out a key under which a process that may not write the current
// user's own keys may keep its settings: on success the key, which the caller
// closes; on failure *phKey as it was.
typedef HRESULT (*WritableKeySource)(HKEY* phKey);

// The key of the browser running in this process (IEGetWriteableHKCU of the
// system's ieframe.dll); E_NOTIMPL where there is no such browser or function.
HRESULT BrowserWritableKey(HKEY* phKey);

// True, with the remembered interval (CRefreshSchedule::kNoRefresh for none)
// in *pnInterval, when one is stored; false, with *pnInterval unchanged,
// otherwise.
bool LoadRememberedInterval(LONG* pnInterval, WritableKeySource source = BrowserWritableKey);

// Keeps nInterval for the bands connected from now on.
void RememberInterval(LONG nInterval, WritableKeySource source = BrowserWritableKey);
