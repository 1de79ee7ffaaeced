// The web server as the board's controller drives it: the programs hand web_front_ops() to the
// controller, which starts, restarts and stops the server as the settings say.
#pragma once

#include "live/controller.h"
#include "web/web_server.h"

// Over the controller given, whose board the server serves and whose shell it tells of changes.
// The limits are the board's own but in tests.
const WebOps* web_front_ops(Controller& controller, const WebLimits& limits = WebLimits{});

// The running server's counters, for tests and the service view; false when none runs.
bool web_front_stats(WebServerStats* stats);
