#include "headless/data_location.h"

#include <QStandardPaths>
#include <QString>
#include <iterator>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace qnl {
namespace {

bool writable_directory(const std::filesystem::path& dir) {
#ifdef _WIN32
  // A probe file tells more than the attributes on Windows.
  const std::filesystem::path probe = dir / ".quenlo-write-probe";
  std::error_code ec;
  HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
#else
  // SQLite writes its journal beside the file: the directory must take files.
  return access(dir.c_str(), W_OK | X_OK) == 0;
#endif
}

}  // namespace

bool program_data_writable(const std::filesystem::path& program_directory) {
  const std::filesystem::path data = program_directory / "data";
  std::error_code ec;
  return std::filesystem::is_directory(data, ec) ? writable_directory(data)
                                                 : writable_directory(program_directory);
}

std::filesystem::path data_directory(const std::filesystem::path& program_directory,
                                     const std::filesystem::path& user_directory) {
  return data_directory(program_directory, user_directory,
                        program_data_writable(program_directory));
}

std::filesystem::path data_directory(const std::filesystem::path& program_directory,
                                     const std::filesystem::path& user_directory,
                                     bool program_data_writable) {
  const std::filesystem::path shipped = program_directory / "data";
  std::error_code ec;
  if (program_data_writable) return shipped;
  const std::filesystem::path database = user_directory / "qnl6.sdb";
  if (!std::filesystem::exists(database, ec) &&
      std::filesystem::is_regular_file(shipped / "qnl6.sdb", ec)) {
    std::filesystem::create_directories(user_directory, ec);
    // Copied under another name first: a half-copied file never stands
    // under the database's name.
    const std::filesystem::path partial = user_directory / "qnl6.sdb.part";
    if (std::filesystem::copy_file(shipped / "qnl6.sdb", partial,
                                   std::filesystem::copy_options::overwrite_existing, ec)) {
      std::filesystem::permissions(
          partial, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, ec);
      std::filesystem::rename(partial, database, ec);
    }
    if (ec) std::filesystem::remove(partial, ec);
  }
  return user_directory;
}

std::filesystem::path data_directory(const std::filesystem::path& program_directory) {
  const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  std::filesystem::path user = base.isEmpty() ? std::filesystem::path(program_directory)
                                              : std::filesystem::path(base.toStdU16String());
  return data_directory(program_directory, user / "Quenlo");
}

std::filesystem::path program_directory() {
#ifdef _WIN32
  wchar_t name[MAX_PATH * 4] = {};
  GetModuleFileNameW(nullptr, name, static_cast<DWORD>(std::size(name)));
  return std::filesystem::path(name).parent_path();
#else
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
#endif
}

}  // namespace qnl
