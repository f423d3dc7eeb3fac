// Skins: the look of every window, numbered 1 to 19.
#pragma once

namespace qnl {

// Applies skin `number` to the whole application; a number outside 1-19
// does nothing. Until the skin set is shipped, every number keeps the
// platform's own look.
void apply_skin(int number);

}  // namespace qnl
