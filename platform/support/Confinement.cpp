//===- Confinement.cpp - Folders a child may reach ------------------------===//
#include "Confinement.h"

#include "EvDebug.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <mutex>

namespace {

// Rights over files and over folders as each ABI version has them.
constexpr uint64_t kFileRead = LANDLOCK_ACCESS_FS_READ_FILE;
constexpr uint64_t kFileExecute = LANDLOCK_ACCESS_FS_EXECUTE;
constexpr uint64_t kFileWrite = LANDLOCK_ACCESS_FS_WRITE_FILE;
constexpr uint64_t kTruncate = 1ULL << 14;  // LANDLOCK_ACCESS_FS_TRUNCATE, ABI 3
constexpr uint64_t kFolderRead = LANDLOCK_ACCESS_FS_READ_DIR;
constexpr uint64_t kMake = LANDLOCK_ACCESS_FS_MAKE_REG |
                           LANDLOCK_ACCESS_FS_REMOVE_FILE;
// Everything ABI 1 knows; ABI 2 adds linking and renaming across folders
// (refer), ABI 3 truncation.  Device ioctls (ABI 5) stay unhandled: qemu
// asks a block device its size with one.
constexpr uint64_t kHandledV1 = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;
constexpr uint64_t kRefer = LANDLOCK_ACCESS_FS_REFER;

uint64_t Handled(int abi) {
  return kHandledV1 | (abi >= 2 ? kRefer : 0) | (abi >= 3 ? kTruncate : 0);
}

// The system a dynamically linked qemu-img needs: its libraries, the
// loader's cache and locale files, and the devices it opens.
struct SystemPath {
  const char* path;
  uint64_t access;
};
constexpr uint64_t kSystem = kFileRead | kFileExecute | kFolderRead;
constexpr SystemPath kSystemPaths[] = {
    {"/usr", kSystem},         {"/lib", kSystem},
    {"/lib64", kSystem},       {"/lib32", kSystem},
    {"/bin", kSystem},         {"/etc", kFileRead | kFolderRead},
    {"/sys/devices/system/cpu", kFileRead | kFolderRead},
    {"/dev/null", kFileRead | kFileWrite},
    {"/dev/zero", kFileRead},  {"/dev/urandom", kFileRead},
};

constexpr uint64_t kReadFolder = kFileRead | kFolderRead;
constexpr uint64_t kWriteFolder = kReadFolder | kFileWrite | kMake | kTruncate;
constexpr uint64_t kStateFolder =
    kWriteFolder | LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_REMOVE_DIR |
    LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
    LANDLOCK_ACCESS_FS_MAKE_SYM;

int CreateRuleset(const landlock_ruleset_attr* attr, std::size_t size,
                  uint32_t flags) {
  return static_cast<int>(syscall(SYS_landlock_create_ruleset, attr, size, flags));
}

// Adds a rule for path with the rights it can carry (files take no folder
// rights); a path that does not exist is left out.  0 or an errno.
int AddRule(int ruleset, const std::string& path, uint64_t access,
            uint64_t handled) {
  int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? 0 : errno;
  struct stat facts;
  if (fstat(fd, &facts) == 0 && !S_ISDIR(facts.st_mode))
    access &= kFileRead | kFileWrite | kFileExecute | kTruncate;
  landlock_path_beneath_attr rule{};
  rule.allowed_access = access & handled;
  rule.parent_fd = fd;
  int error = 0;
  if (syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH,
              &rule, 0) != 0)
    error = errno;
  ::close(fd);
  return error;
}

std::string FolderOf(const std::string& program) {
  std::string::size_type slash = program.rfind('/');
  return slash == std::string::npos || slash == 0 ? "/"
                                                  : program.substr(0, slash);
}

}  // namespace

int LandlockAbi() {
  int abi = CreateRuleset(nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  return abi < 0 ? 0 : abi;
}

int ConfinementRuleset(const ChildFolders& folders, const std::string& program,
                       int& errnum) {
  int abi = LandlockAbi();
  if (abi == 0) {
    static std::once_flag logged;
    std::call_once(logged, [] {
      EvDebug().DebugLvl(__func__, 1,
                         "Landlock not available: child processes run "
                         "unconfined");
    });
    return -1;
  }
  uint64_t handled = Handled(abi);
  landlock_ruleset_attr attr{};
  attr.handled_access_fs = handled;
  int ruleset = CreateRuleset(&attr, sizeof attr, 0);
  if (ruleset < 0) {
    errnum = errno;
    return -2;
  }
  int error = 0;
  for (const SystemPath& row : kSystemPaths)
    if (error == 0) error = AddRule(ruleset, row.path, row.access, handled);
  if (error == 0 && !program.empty())
    error = AddRule(ruleset, FolderOf(program), kSystem, handled);
  for (const std::string& path : folders.read)
    if (error == 0) error = AddRule(ruleset, path, kReadFolder, handled);
  for (const std::string& path : folders.write)
    if (error == 0) error = AddRule(ruleset, path, kWriteFolder, handled);
  for (const std::string& path : folders.state)
    if (error == 0) error = AddRule(ruleset, path, kStateFolder, handled);
  if (error == 0) return ruleset;
  ::close(ruleset);
  errnum = error;
  return -2;
}

int RestrictSelf(int ruleset) {
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return errno;
  if (syscall(SYS_landlock_restrict_self, ruleset, 0) != 0) return errno;
  return 0;
}
