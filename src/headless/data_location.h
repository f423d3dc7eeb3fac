// Where the program keeps its database and push settings. The program's own
// data/ directory when the user may write there (an unpacked or built copy);
// otherwise (an installed package) the user's data directory, which gets a
// copy of the shipped database on first start.
#pragma once

#include <filesystem>

namespace qnl {

// The data directory for a program in `program_directory`; `user_directory`
// is where an installed program keeps the user's copy. Copies the shipped
// qnl6.sdb there when the user has none yet (never over an existing file);
// a failed copy leaves the user's directory without one, which start-up
// then reports as a missing database.
std::filesystem::path data_directory(const std::filesystem::path& program_directory,
                                     const std::filesystem::path& user_directory);
// The same, told whether the program's data directory takes files.
std::filesystem::path data_directory(const std::filesystem::path& program_directory,
                                     const std::filesystem::path& user_directory,
                                     bool program_data_writable);
// True when files can be made in the program's data/ directory (or, when
// there is none, in the program's directory).
bool program_data_writable(const std::filesystem::path& program_directory);

// data_directory for this program, with the user's data directory of the
// platform (~/.local/share/Quenlo on Linux).
std::filesystem::path data_directory(const std::filesystem::path& program_directory);

// The directory of the running program file.
std::filesystem::path program_directory();

}  // namespace qnl
