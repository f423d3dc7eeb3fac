// Process set-up that depends on the platform.
#pragma once

namespace qnl {

// Chromium's sandbox cannot run as root: turns it off only then.
void prepare_web_engine_environment();

}  // namespace qnl
