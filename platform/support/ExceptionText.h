//===- ExceptionText.h - One line for the exception being handled ---------===//
//
// Readers catch everything at their edge so that no exception leaves the
// library.  What they report is the exception itself: exhausted memory is
// "out of memory", any other standard exception its own text.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <exception>
#include <new>
#include <string>

// Only within a catch block: describes the exception being handled.
inline std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unexpected failure";
  }
}
