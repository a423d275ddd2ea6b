#pragma once
// Runs a reader step that must fail and hands back the InputError it raised.

#include <gtest/gtest.h>

#include "input/input_error.hpp"

namespace tessmark::testing {

template <typename Step>
InputError captureInputError(Step step) {
  try {
    step();
  } catch (const InputError& error) {
    return error;
  }
  ADD_FAILURE() << "expected an InputError, none was thrown";
  return InputError(InputError::Kind::cannotOpen, "", 0, "no error");
}

}  // namespace tessmark::testing
