#pragma once
#include <windows.h>

// The interval that "&Remember Settings" keeps for the current user and that
// every band reads back when it is connected to its site. Where and how it is
// kept is this file's business alone. Every failure is silent: a setting that
// cannot be read leaves the band as it was, one that cannot be written leaves
// the stored one as it was.

// True, with the remembered interval (CRefreshSchedule::kNoRefresh for none)
// in *pnInterval, when one is stored; false, with *pnInterval unchanged,
// otherwise.
bool LoadRememberedInterval(LONG* pnInterval);

// Keeps nInterval for the bands connected from now on.
void RememberInterval(LONG nInterval);
