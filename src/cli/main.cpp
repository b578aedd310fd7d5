#include <iostream>

#include "tarvo.h"

int main(int argc, char **argv)
{
    return TarvoRun(argc, argv, std::cout, std::cerr);
}
