#include "app/Console.h"

#include <cstdio>
#include <iostream>
#include <string>

#include <unistd.h>

void waitForKeyPress() {
    if (!isatty(STDIN_FILENO)) {
        return;
    }
    std::cout << "Press Enter to continue . . ." << std::endl;
    std::string line;
    std::getline(std::cin, line);
}
