#include "app/Console.h"

#include <cstdio>
#include <iostream>
#include <string>

#include <unistd.h>
#ifndef _WIN32
#include <fcntl.h>
#endif

void openMissingStandardStreams() {
#ifndef _WIN32
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(fd, F_GETFD) != -1) {
            continue;
        }
        // open takes the lowest free descriptor, which is this one once the
        // lower ones are open; should it be another, move it here.
        const int null = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null > fd) {
            dup2(null, fd);
            close(null);
        }
    }
#endif
}

void waitForKeyPress() {
    if (!isatty(STDIN_FILENO)) {
        return;
    }
    std::cout << "Press Enter to continue . . ." << std::endl;
    std::string line;
    std::getline(std::cin, line);
}
