#include "app/platform.h"

#include <cstdlib>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace qnl {

void prepare_web_engine_environment() {
#ifndef _WIN32
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
#endif
}

}  // namespace qnl
