#include "app/Logger.h"

int main() {
    Logger::log("Starting Game", INFO);
    return 0;
}
