//===- Staging.cpp - Where a restore puts the files it restores -----------===//
//
// The staging folder is made under a name no cleanup looks at
// (".staging-new-XXXXXX"), locked, and only then renamed to its ".staging-"
// name, so a run that cleans up never finds a live one unlocked.
//
//===----------------------------------------------------------------------===//
#include "Staging.h"

#include "JobSupport.h"

#include "platform/support/FXPath.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace zyjobs {
namespace {

namespace fs = std::filesystem;

constexpr char kStagingPrefix[] = ".staging-";
constexpr char kNewStagingPrefix[] = ".staging-new-";

bool IsStagingName(const std::string& name) {
  return name.rfind(kStagingPrefix, 0) == 0 &&
         name.rfind(kNewStagingPrefix, 0) != 0;
}

// A descriptor holding the folder's lock, or -1 when another run holds it
// or the folder cannot be opened.
int LockFolder(const std::string& path) {
  int fd =
      ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
  ::close(fd);
  return -1;
}

}  // namespace

void RemoveAbandonedStaging(const std::string& root, IJobObserver& observer) {
  std::error_code ec;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code typeError;
    std::string name = it->path().filename().string();
    if (!IsStagingName(name) ||
        it->symlink_status(typeError).type() != fs::file_type::directory)
      continue;
    int lock = LockFolder(it->path().string());
    if (lock < 0) continue;  // a restore running now
    std::error_code removeError;
    auto removed = fs::remove_all(it->path(), removeError);
    ::close(lock);
    if (!removeError)
      observer.OnNote("removed [" + it->path().string() + "] (" +
                      std::to_string(removed) +
                      " entries) left by an interrupted restore");
  }
}

StagingFolder::StagingFolder(const std::string& root) {
  std::string pattern =
      CQiPath::Append(root, std::string(kNewStagingPrefix) + "XXXXXX");
  if (!::mkdtemp(pattern.data()))
    throw JobFailure("cannot create a staging folder in [" + root +
                     "]: " + std::strerror(errno));
  lock_ = LockFolder(pattern);
  std::string name =
      CQiPath::GetBaseName(pattern).substr(sizeof kNewStagingPrefix - 1);
  std::string path = CQiPath::Append(root, std::string(kStagingPrefix) + name);
  if (lock_ < 0 || ::rename(pattern.c_str(), path.c_str()) != 0) {
    int err = errno;
    if (lock_ >= 0) ::close(lock_);
    ::rmdir(pattern.c_str());
    throw JobFailure("cannot create a staging folder in [" + root +
                     "]: " + std::strerror(err));
  }
  path_ = path;
}

StagingFolder::~StagingFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
  ::close(lock_);
}

StagedFiles::~StagedFiles() {
  for (auto it = paths_.rbegin(); it != paths_.rend(); ++it) {
    std::error_code ec;
    fs::remove(*it, ec);  // a folder only when empty
  }
}

}  // namespace zyjobs
