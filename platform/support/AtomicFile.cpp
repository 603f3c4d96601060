//===- AtomicFile.cpp - Files written whole or not at all -----------------===//
#include "AtomicFile.h"

#include "UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

int WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    done += static_cast<size_t>(n);
  }
  return 0;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The new name reaches the disk with the folder.
int SyncFolder(const std::string& path) {
  UniqueFd folder(::open(FolderOf(path).c_str(),
                         O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder) return errno;
  return ::fsync(folder.get()) == 0 ? 0 : errno;
}

}  // namespace

int WriteFileAtomically(const std::string& path, const std::string& text,
                        ExistingFile existing, int mode) {
  std::string temporary = path + ".tmp-XXXXXX";
  UniqueFd fd(::mkostemp(&temporary[0], O_CLOEXEC));
  if (!fd) return errno;
  int err = ::fchmod(fd.get(), static_cast<mode_t>(mode)) == 0 ? 0 : errno;
  if (!err) err = WriteAll(fd.get(), text);
  if (!err && ::fsync(fd.get()) != 0) err = errno;
  int closed = fd.Close();
  if (!err) err = closed;
  if (!err && existing == ExistingFile::kReplace &&
      ::rename(temporary.c_str(), path.c_str()) != 0)
    err = errno;
  if (!err && existing == ExistingFile::kKeep &&
      ::link(temporary.c_str(), path.c_str()) != 0)
    err = errno;
  if (err || existing == ExistingFile::kKeep) ::unlink(temporary.c_str());
  if (!err) err = SyncFolder(path);
  return err;
}
