//===- LoggingTest.cpp - Platform logging ---------------------------------===//
#include "platform/support/EvDebug.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

// The records' kind, function and level: the converter's LogTest.
TEST(Logging, DefaultSinkAppendsToTheLogFileUpToTheLevel) {
  TempDir dir;
  std::string file = dir.File("zy.log");
  const char* oldFile = std::getenv("ZY_LOG_FILE");
  std::string saved = oldFile ? oldFile : "";
  setenv("ZY_LOG_FILE", file.c_str(), 1);
  setenv("ZY_LOG_LEVEL", "1", 1);
  SetLogSink(
      nullptr);  // the next line creates a default sink from the environment
  EvDebug log;
  log.DebugLvl("f()", 1, "kept");
  log.DebugLvl("f()", 2, "dropped");
  log.Error("f()", "error kept");
  SetLogSink(nullptr);  // closes the file
  unsetenv("ZY_LOG_LEVEL");
  if (oldFile)
    setenv("ZY_LOG_FILE", saved.c_str(), 1);
  else
    unsetenv("ZY_LOG_FILE");
  std::string text = TempDir::Read(file);
  EXPECT_NE(text.find("f(): kept"), std::string::npos);
  EXPECT_EQ(text.find("dropped"), std::string::npos);
  EXPECT_NE(text.find("error kept"), std::string::npos);
}
