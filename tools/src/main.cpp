#include <iostream>

#include "CommandLine.hpp"

int main(int argc, char **argv)
{
  return tova::plugin::tool::RunTool(argc, argv, std::cout, std::cerr);
}
