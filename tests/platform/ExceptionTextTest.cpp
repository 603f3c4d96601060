//===- ExceptionTextTest.cpp - Readers report an exception as itself ------===//
#include "platform/support/ExceptionText.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(ExceptionText, OnlyExhaustedMemoryIsReportedAsOutOfMemory) {
  try {
    throw std::bad_alloc();
  } catch (...) {
    EXPECT_EQ(CurrentExceptionText(), "out of memory");
  }
  try {
    throw std::length_error("basic_string::_M_create");
  } catch (...) {
    EXPECT_EQ(CurrentExceptionText(), "basic_string::_M_create");
  }
}
