// Process set-up that depends on the platform.
#pragma once

namespace qnl {

// Chromium's sandbox cannot run as root: turns it off only then.
void prepare_web_engine_environment();

// The forms were laid out for a 9-point user-interface font: use that size
// so every caption fits its control.
void use_form_font();

}  // namespace qnl
