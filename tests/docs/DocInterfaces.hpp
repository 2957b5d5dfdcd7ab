#ifndef TOVA_TESTS_DOCS_DOCINTERFACES_HPP_
#define TOVA_TESTS_DOCS_DOCINTERFACES_HPP_

#include <functional>

// Interfaces that the guides' blocks use without showing them.

/// writing-plugins.md: what the self-referencing `Counter` implements.
class Tally
{
public:
  virtual ~Tally() = default;
  virtual int Add(int amount) = 0;
};

/// lifetimes.md: a library that hands out a lambda of its own.
class Counters
{
public:
  virtual ~Counters() = default;
  virtual std::function<int()> MakeCounter() = 0;
};

#endif
