//===- TempDir.h - A temporary folder removed at the end of a test --------===//
#pragma once

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path()/name
  std::string File(const std::string& name) const;
  // Writes text to path()/name (creating folders) and returns the path.
  std::string Write(const std::string& name, const std::string& text) const;
  // The whole content of a file; empty when it cannot be read.
  static std::string Read(const std::string& path);
  // text in single quotes for /bin/sh, whatever it holds.
  static std::string Quoted(const std::string& text);

 private:
  std::string path_;
};
