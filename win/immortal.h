// A process-wide object built during static initialisation and never destroyed, for state that
// worker threads may still use while the process's statics are torn down at exit.
#pragma once

namespace win {

template <typename T>
class Immortal {
 public:
  Immortal() : value_() {}
  ~Immortal() {}  // leaves value_ alone on purpose
  Immortal(const Immortal&) = delete;
  Immortal& operator=(const Immortal&) = delete;

  T& operator*() { return value_; }

 private:
  union {
    T value_;
  };
};

}  // namespace win
