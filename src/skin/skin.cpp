#include "skin/skin.h"

namespace qnl {

void apply_skin(int number) {
  if (number < 1 || number > 19) return;
  // The skin set arrives with its own style sheets; the platform look stays
  // until then.
}

}  // namespace qnl
