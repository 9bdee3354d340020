// A base for the classes that own what they point at (buffers, handles, a
// device): a copy would free it twice, so copies are refused at compile time.
#pragma once

class NonCopyable {
  public:
    NonCopyable(const NonCopyable&) = delete;
    NonCopyable& operator=(const NonCopyable&) = delete;

  protected:
    NonCopyable() = default;
    ~NonCopyable() = default;
};
