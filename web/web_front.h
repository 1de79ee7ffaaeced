// The web server as the board's controller drives it: the programs hand web_front_ops() to the
// controller, which starts, restarts and stops the server as the settings say.
#pragma once

#include "live/controller.h"

// Over the controller given, whose board the server serves and whose shell it tells of changes.
const WebOps* web_front_ops(Controller& controller);
