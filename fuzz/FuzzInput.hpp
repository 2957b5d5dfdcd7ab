#ifndef TOVA_FUZZ_FUZZINPUT_HPP_
#define TOVA_FUZZ_FUZZINPUT_HPP_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace tova::fuzz
{
  /// Reads choices from the fuzzer's bytes; zeros once they run out.
  class FuzzInput
  {
  public:
    FuzzInput(const std::uint8_t *data, std::size_t size)
      : data(data), size(size)
    {
    }

    bool Empty() const { return this->position >= this->size; }

    std::uint8_t Byte()
    {
      return this->Empty() ? 0 : this->data[this->position++];
    }

    /// One of `choices`.
    template <class Container>
    const auto &Pick(const Container &choices)
    {
      return choices[this->Byte() % choices.size()];
    }

  private:
    const std::uint8_t *data;
    std::size_t size;
    std::size_t position = 0;
  };

  /// Collects what is written to std::cerr while it lives.
  class StderrCapture
  {
  public:
    StderrCapture()
      : previous(std::cerr.rdbuf(this->text.rdbuf()))
    {
    }

    ~StderrCapture() { std::cerr.rdbuf(this->previous); }

    /// The text so far; the capture starts afresh.
    std::string Take()
    {
      std::string taken = this->text.str();
      this->text.str({});
      return taken;
    }

  private:
    std::ostringstream text;
    std::streambuf *previous;
  };

  /// Stops the run with a report that libFuzzer keeps with the input.
  inline void Check(bool holds, const char *what)
  {
    if (holds)
      return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

#endif
