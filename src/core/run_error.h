#pragma once

#include <stdexcept>

namespace sigilflip {

// A run that cannot go on. The message is for the user.
class RunError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace sigilflip
