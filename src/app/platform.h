// Process set-up that depends on the platform.
#pragma once

namespace qnl {

// Before the application object exists: registers the web views' own URL
// scheme; Chromium's sandbox cannot run as root, so turns it off only then.
void prepare_web_engine_environment();

// The forms were laid out for a 9-point user-interface font: use that size
// so every caption fits its control.
void use_form_font();

}  // namespace qnl
