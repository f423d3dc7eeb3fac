// The headless front end: the same monitor over the same database, for an
// always-on machine with no display. Found posts go to standard output, one
// line each; status lines go to standard error. Needs Qt Core only (for the
// push channels' INI file), never the display or the web engine.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace qnl {

struct ArticleRow;

struct HeadlessOptions {
  bool help = false;
  bool json = false;
  std::filesystem::path database;  // empty: the program's own database
  // Rule ids to crawl in each wave; none given: the rules whose row is ticked
  // (isdo "1"), as the desktop's plan list starts.
  std::optional<std::vector<int>> rules;
};

// Exit codes of headless mode.
enum HeadlessExit : int {
  kHeadlessOk = 0,
  kHeadlessUsage = 2,               // a bad option or rule id
  kHeadlessDatabaseMissing = 3,     // no file at the database path
  kHeadlessDatabaseUnopenable = 4,  // not a database, no permission, or held by another program
  kHeadlessIncompatible = 5,        // a database of an older layout
  kHeadlessOutputClosed = 6,        // standard output went away
};

// True when the command line asks for headless mode.
bool wants_headless(int argc, char** argv);

// Parses the arguments after the program name ("--headless" itself is
// accepted and ignored). False with `error` set on a bad argument.
bool parse_headless_arguments(const std::vector<std::string>& args, HeadlessOptions& options,
                              std::string& error);

std::string headless_usage();

// The line of one found post, UTF-8, without the line end: a JSON object
// (time, rule, site, title, address, special) or tab-separated fields.
// `when` is the time of finding (ISO 8601).
std::string post_line(const ArticleRow& row, std::string_view when, bool json);

// The local time now, ISO 8601 with the offset ("2026-12-09T12:50:39+08:00").
std::string iso_time_now();

// The database file of the program: qnl6.sdb in its data directory.
std::filesystem::path default_database_path();

// Where the lines go, UTF-8, one call per line (no line end).
struct HeadlessOutput {
  std::function<bool(const std::string& line)> post;  // false: the output is gone
  std::function<void(const std::string& line)> status;
};

// Opens the database, starts the monitor and runs waves until `stop` is
// requested; then stops the crawl in progress, closes the database and
// returns kHeadlessOk. A database that cannot be used ends at once with its
// exit code and a status line that says why.
int run_headless(const HeadlessOptions& options, const HeadlessOutput& output,
                 std::stop_token stop);

// The process entry of headless mode: parses argv, runs until SIGINT or
// SIGTERM, returns the exit code.
int headless_main(int argc, char** argv);

// For the desktop program: hands the process over to the small headless
// program beside it (quenlo-headless), which loads neither the toolkit's
// GUI nor the web engine; runs headless_main here when it is missing.
int start_headless(int argc, char** argv);

}  // namespace qnl
