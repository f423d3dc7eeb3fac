#include "text/regex_bounds.h"

#include <utility>

namespace qnl {
namespace {

thread_local const std::function<bool()>* t_stop = nullptr;

}  // namespace

RegexStopScope::RegexStopScope(std::function<bool()> stop)
    : stop_(std::move(stop)), outer_(t_stop) {
  t_stop = &stop_;
}

RegexStopScope::~RegexStopScope() {
  t_stop = outer_;
}

namespace regex_bounds {

bool stop_requested() {
  return t_stop && *t_stop && (*t_stop)();
}

}  // namespace regex_bounds
}  // namespace qnl
