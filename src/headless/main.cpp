// The headless program: the monitor without display or web engine. The
// desktop program starts it for "quenlo --headless".
#include "headless/headless.h"

int main(int argc, char** argv) {
  return qnl::headless_main(argc, argv);
}
