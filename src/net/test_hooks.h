// Process-wide transport overrides for tests, set in code only: the product
// has no switch for them.
#pragma once

#include <string>
#include <vector>

namespace qnl::net_test_hooks {

// CURLOPT_CONNECT_TO entries ("HOST:PORT:CONNECT-HOST:CONNECT-PORT"), applied to
// every later exchange. An empty list removes the override.
void set_connect_to(std::vector<std::string> entries);

// A PEM file of extra trusted certificate authorities, added to the system
// store for every later exchange. An empty path removes it. Returns false
// when the file cannot be read (the override is then removed).
bool set_extra_ca_file(const std::string& path);

}  // namespace qnl::net_test_hooks
