#pragma once

#include "comm/MyCommStatus.h"

namespace comm {

// The delays from switching an output to the instant recorded for its input, in
// microseconds.
struct SelfTestLine
{
    int edges = 0;
    double medianUs = 0;
    double p99Us = 0;
    double maxUs = 0;
};

// What a self-test of the timing path found on a port with a loopback (DTR feeds DSR,
// contact 1; RTS feeds CTS, contact 2).
struct SelfTestResult
{
    // Every switched output came back on its input: the figures below hold.
    bool loopback = false;
    SelfTestLine dsr;
    SelfTestLine cts;
    // How much later contact 2's path records a change than contact 1's (median against
    // median): it enters every time between the two barriers.
    double systematicUs = 0;
    // The adapter's driver holds changes back (an FTDI latency timer above 1 ms).
    bool buffering = false;
    int latencyMs = -1;
};

// Switches DTR and RTS in turn, `toggles` times in all, on the port that `status` has
// open, and measures each switch against the instant the watcher records for the change
// it brings. On the user-interface thread, which handles its events meanwhile; gives up,
// with loopback false, when an input does not follow within `timeoutMs`. The outputs are
// on again afterwards, as after opening.
SelfTestResult runSelfTest(TMyCommStatus &status, int toggles = 300, int timeoutMs = 1000);

} // namespace comm
