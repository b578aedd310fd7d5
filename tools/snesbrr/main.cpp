#include <iostream>

#include "cli.h"

int main(int argc, char *argv[])
{
    return snesbrr::run(argc, argv, std::cout, std::cerr);
}
